#!/usr/bin/env bash
# Makes a seed corpus for the session fuzzer: real sessions of a short synthetic side saved by
# tarnival-cli with different options, plus the small hand-made files of older formats.
# Usage: fuzz/make-session-seeds.sh BUILD_DIR CORPUS_DIR
set -euo pipefail
build=${1:?build folder holding tarnival-cli}
corpus=${2:?corpus folder}
mkdir -p "$corpus"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" TMPDIR="$work"
"$build/tarnival-cli" demo "$work/demo" > /dev/null
side="$work/demo/demo-side.wav"
n=0
for options in "" "--rumble --treble -2" "--hiss 2 --hum" "--no-split" "--repair precise --gapless"; do
  n=$((n + 1))
  # shellcheck disable=SC2086
  "$build/tarnival-cli" restore "$side" --out "$work/out$n" --yes $options \
    --save-session "$corpus/demo-$n.ses" > /dev/null
done
# An older layout: state 3 and no format bits (12-byte corrections, 8-byte tracks).
{
  printf '\x05a.wav\x03\x00\x00\x00\x02\x00'
  head -c 24 /dev/zero
  printf '\x00\x00\x01\x00\x2c\x00\x00\x00\x64\x00\x00\x00'
} > "$corpus/old-minimal.ses"
echo "seeds in $corpus: $(ls "$corpus" | wc -l)"
