#!/usr/bin/env bash
# Installs what is missing, builds Tarnival and restores a synthetic record side in demo-out/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target tarnival-cli
build/tarnival-cli demo demo-out
