#!/bin/sh
# Renders the desktop application's windows offscreen into docs/screenshots/.
# Usage: scripts/screenshots.sh [BUILD_DIR]   (the GUI must be built in it)
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build}
OUT=docs/screenshots
mkdir -p "$OUT"
export QT_QPA_PLATFORM=offscreen

# ---- Dialogs: every dialog, one PNG each, into docs/screenshots/dialogs ----
cmake --build "$BUILD" --target tarnival-gallery
"$BUILD/tarnival-gallery" "$OUT/dialogs"
