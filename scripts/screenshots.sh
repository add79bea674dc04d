#!/usr/bin/env bash
# Renders the desktop application's windows with a demo side to PNG files in docs/screenshots/,
# headless (Qt's offscreen platform). Names of single shots may be given; the list of shots (and
# of the dialogs rendered) is in tests/gui/screenshots/Screenshots.cpp.
#   scripts/screenshots.sh [NAME...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
[ -f "$build/CMakeCache.txt" ] ||
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNIVAL_WERROR=ON
cmake --build "$build" --target tarnival-screenshots -j2
mkdir -p docs/screenshots
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/tarnival-screenshots" docs/screenshots "$@"
