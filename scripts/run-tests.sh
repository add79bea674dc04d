#!/usr/bin/env bash
# Installs what is missing, builds Tarnival and runs every test.
#   scripts/run-tests.sh              normal build in build/
#   scripts/run-tests.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
# CI has installed everything already.
[ -n "${TARNIVAL_SETUP_DONE:-}" ] || scripts/setup-debian.sh
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-asan
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARNIVAL_SANITIZE=ON -DTARNIVAL_GUI=OFF -DTARNIVAL_WERROR=ON
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1
else
  dir=build
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNIVAL_WERROR=ON
fi
cmake --build "$dir" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
# Playback and recording are tested for real through a private sound server with a null sink.
sound_dir=$(mktemp -d /tmp/tarnival-sound.XXXXXX)
rmdir "$sound_dir"
if sound_env=$(scripts/sound-server.sh start "$sound_dir"); then
  eval "$sound_env"
  trap 'scripts/sound-server.sh stop "$sound_dir"' EXIT
else
  echo "run-tests.sh: no sound server; the tests that need one will be skipped" >&2
fi
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)"
