#!/usr/bin/env bash
# Installs every Debian package Tarnival needs to build, test and benchmark. Safe to run again.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config clang-format
  qt6-base-dev qt6-multimedia-dev libqt6opengl6-dev
  libqt6svg6 desktop-file-utils # our SVG icons; the test checks the .desktop file
  libfftw3-dev libavformat-dev libavcodec-dev libavutil-dev
  libvorbis-dev libogg-dev libflac-dev
  libgtest-dev libgmock-dev
  sox xvfb xauth libjmac-java default-jre-headless time ccache
  flac # the command-line encoder: only the benchmark compares sizes with it
  pulseaudio pulseaudio-utils
  clang # the libFuzzer targets (-DTARNIVAL_FUZZ=ON)
)
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
