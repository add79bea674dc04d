#!/usr/bin/env bash
# Builds the benchmarks in Release mode and prints every figure in one run.
#   bench/run.sh [BUILD_DIR]     default: build-bench/ in the repository
# Assumes the build prerequisites are installed (scripts/setup-debian.sh installs them).
# Peak memory is read with /usr/bin/time -v when it is there (Debian package "time"), otherwise
# from the program's own report.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "${1:-$repo/build-bench}" && cd "${1:-$repo/build-bench}" && pwd)

log="$build/bench-build.log"
if ! { cmake -S "$repo" -B "$build" -G Ninja -DTARNIVAL_GUI=OFF -DCMAKE_BUILD_TYPE=Release &&
       cmake --build "$build" --target bench_restore bench_render bench_repair bench_tracks bench_precise \
         -j"$(nproc)"; } >"$log" 2>&1; then
  cat "$log"
  echo "bench/run.sh: the build failed (are the prerequisites installed? scripts/setup-debian.sh)" >&2
  exit 1
fi

# Scratch files live beside the build, on the disk the user works on (not a memory-backed /tmp).
work="$build/bench-data"
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
calc() { awk "BEGIN { printf \"$1\", $2 }"; }
# Field value from a program's "name   value" output.
field() { awk -v k="$2" 'index($0, k) == 1 { $0 = substr($0, length(k) + 1); print $1; exit }' "$1"; }

# Seconds for a copy of FILE into the same folder: the second of two runs.
copy_seconds() {
  local src=$1 dst="$1.copy" t0 t1
  cp "$src" "$dst"
  rm -f "$dst"
  t0=$(now)
  cp "$src" "$dst"
  t1=$(now)
  rm -f "$dst"
  elapsed "$t0" "$t1"
}

# Runs bench_restore on FILE as its own process; sets run_seconds and run_rss_mb and leaves its
# report in $work/restore.txt.
restore_process() {
  local t0 t1
  if [ -x /usr/bin/time ]; then
    t0=$(now)
    /usr/bin/time -v -o "$work/time.txt" "$build/bench_restore" "$1" >"$work/restore.txt"
    t1=$(now)
    run_rss_mb=$(awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$work/time.txt")
  else
    t0=$(now)
    "$build/bench_restore" "$1" >"$work/restore.txt"
    t1=$(now)
    run_rss_mb=$(field "$work/restore.txt" "peak memory")
  fi
  run_seconds=$(elapsed "$t0" "$t1")
}

verdict() { if awk "BEGIN { exit !($1) }"; then echo "met"; else echo "MISSED"; fi; }

echo "Tarnival benchmarks ($(git -C "$repo" describe --always --dirty 2>/dev/null || echo "no git")," \
  "$(nproc) cores, $(date -u +%Y-%m-%dT%H:%MZ))"
echo "Times are wall seconds; ratios compare runs made a moment apart in this same run."
echo

"$build/bench_restore" --generate "$work/side20.wav" 1200 | sed 's/^/  /'
"$build/bench_restore" --generate "$work/side5.wav" 300 | sed 's/^/  /'
bytes20=$(stat -c %s "$work/side20.wav")
echo

echo "== 1. Throughput: open, copy and scan, track detection, corrections (own process) =="
restore_process "$work/side20.wav" # warm-up, as for cp
cp_seconds=$(copy_seconds "$work/side20.wav")
restore_process "$work/side20.wav"
audio=$(field "$work/restore.txt" "audio")
rss20=$run_rss_mb
xrt=$(calc "%.0f" "$audio / $run_seconds")
vs_cp=$(calc "%.1f" "$run_seconds / $cp_seconds")
printf '  file            %.1f MB, %s s of audio\n' "$(calc "%.1f" "$bytes20 / 1e6")" "$audio"
printf '  cp              %8s s\n' "$cp_seconds"
printf '  restore         %8s s  = %sx real time, %sx cp\n' "$run_seconds" "$xrt" "$vs_cp"
echo "  targets         >= 400x real time (under 3 s): $(verdict "$xrt >= 400");" \
  "within 15x cp: $(verdict "$vs_cp <= 15")"
echo "  phases measured inside the process:"
sed 's/^/    /' "$work/restore.txt"
"$build/bench_restore" "$work/side20.wav" --sensitivity 0 >"$work/plain.txt"
echo "  the same load without the click scan (sensitivity 0): copy + overview" \
  "$(field "$work/plain.txt" "copy + scan") s"
restore_process "$work/side5.wav"
rss5=$run_rss_mb
echo "  peak memory     20-minute side ${rss20} MB, 5-minute side ${rss5} MB" \
  "(ratio $(calc "%.2f" "$rss20 / $rss5"): independent of length when near 1)"
echo

echo "== 2. Rendering: every track of the 20-minute side written as wave files =="
"$build/bench_render" "$work/side20.wav" "$work/out" >/dev/null # warm-up
rm -rf "$work/out"
"$build/bench_render" "$work/side20.wav" "$work/out" >"$work/render.txt"
render_seconds=$(field "$work/render.txt" "render")
render_bytes=$(field "$work/render.txt" "bytes")
rm -rf "$work/out"
head -c "$render_bytes" "$work/side20.wav" >"$work/same-size.bin"
cp_render=$(copy_seconds "$work/same-size.bin")
rm -f "$work/same-size.bin"
vs_cp_render=$(calc "%.1f" "$render_seconds / $cp_render")
printf '  written         %.1f MB in %s\n' "$(calc "%.1f" "$render_bytes / 1e6")" \
  "$(awk -F'[()]' '/^render/ { print $2 }' "$work/render.txt")"
printf '  render          %8s s\n' "$render_seconds"
printf '  cp same bytes   %8s s\n' "$cp_render"
echo "  ratio           ${vs_cp_render}x cp; target within 3x cp: $(verdict "$vs_cp_render <= 3")"
echo

echo "== 3. Repair quality: known clicks in music with light hiss (a figure to track) =="
"$build/bench_repair" | sed 's/^/  /'
echo

echo "== 4. Track boundaries: sides of 6-10 pieces, pauses of 1-4 s, surface noise =="
"$build/bench_tracks" | sed 's/^/  /'
echo

echo "== 5. Precise against standard click repair: four kinds of material, and the 20-minute side =="
"$build/bench_precise" --side "$work/side20.wav" | sed 's/^/  /'
