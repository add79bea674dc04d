#!/bin/sh
# Renders the desktop application's windows offscreen into docs/screenshots/: the main window
# with a demo side in each view state worth seeing (tests/gui/screenshots/Screenshots.cpp lists
# them), then every dialog into docs/screenshots/dialogs (tests/gui/gallery/Gallery.cpp).
# Usage: scripts/screenshots.sh [BUILD_DIR] [SHOT...]   (the GUI must be built in BUILD_DIR)
set -eu
cd "$(dirname "$0")/.."
BUILD=build
if [ $# -gt 0 ] && [ -d "$1" ]; then
  BUILD=$1
  shift
fi
OUT=docs/screenshots
mkdir -p "$OUT"
export QT_QPA_PLATFORM=offscreen

# ---- The main window with a demo side, one PNG per state ----
cmake --build "$BUILD" --target tarnival-screenshots
"$BUILD/tarnival-screenshots" "$OUT" "$@"

# ---- Dialogs: every dialog, one PNG each, into docs/screenshots/dialogs ----
if [ $# -eq 0 ]; then
  cmake --build "$BUILD" --target tarnival-gallery
  "$BUILD/tarnival-gallery" "$OUT/dialogs"
fi
