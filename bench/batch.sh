#!/usr/bin/env bash
# The batch processor on a shelf of sides: eight 5-minute sides with de-click, filters,
# normalise and APE output, one file at a time and two at once.
#   bench/batch.sh [BUILD_DIR]     default: build-bench/ in the repository (run.sh calls it)
#   BENCH_BATCH_SIDES=N            sides on the shelf (default 8)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "${1:-$repo/build-bench}" && cd "${1:-$repo/build-bench}" && pwd)
sides=${BENCH_BATCH_SIDES:-8}

log="$build/bench-batch-build.log"
if ! { cmake -S "$repo" -B "$build" -G Ninja -DTARNIVAL_GUI=OFF -DCMAKE_BUILD_TYPE=Release &&
       cmake --build "$build" --target bench_restore tarnival-cli -j"$(nproc)"; } >"$log" 2>&1; then
  cat "$log"
  echo "bench/batch.sh: the build failed" >&2
  exit 1
fi

work="$build/bench-batch"
rm -rf "$work"
mkdir -p "$work/shelf" "$work/config"
trap 'rm -rf "$work"' EXIT
now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"$1\", $2 }"; }
verdict() { if awk "BEGIN { exit !($1) }"; then echo "met"; else echo "MISSED"; fi; }

for i in $(seq 1 "$sides"); do
  "$build/bench_restore" --generate "$work/shelf/side$i.wav" 300 "$i" >/dev/null
done

# Private settings and working files, so the user's settings play no part.
run_batch() {
  local jobs=$1
  rm -rf "$work/out$jobs"
  XDG_CONFIG_HOME="$work/config" TMPDIR="$work" /usr/bin/time -f "%e %U %S" -o "$work/time$jobs" \
    "$build/tarnival-cli" batch "$work/shelf" --declick --filter rumble,hiss=1 --normalise -1 \
    --format ape --out "$work/out$jobs" --jobs "$jobs" --log "$work/log$jobs" 2>/dev/null
  # Wall seconds, and the processor seconds of the program and its jobs: on a busy machine the
  # second shows whether the work itself grew or only the wait for a core.
  awk '{ printf "%.2f %.2f\n", $1, $2 + $3 }' "$work/time$jobs"
}
load=$(cut -d' ' -f1-3 /proc/loadavg)
run_batch 1 >/dev/null # warm-up: the files are in the page cache for both runs
read -r one one_cpu < <(run_batch 1)
read -r two two_cpu < <(run_batch 2)
same=yes
[ "$(ls "$work/out1" | wc -l)" = "$sides" ] || same=no
for f in "$work/out1"/*; do cmp -s "$f" "$work/out2/$(basename "$f")" || same=no; done
# The logs name their own output folders.
sed "s|$work/out2|$work/out1|g" "$work/log2" | cmp -s "$work/log1" - || same=no
speedup=$(calc "%.2f" "$one / $two")
echo "  shelf           $sides sides of 5 minutes, $(nproc) cores, load average before: $load"
printf '  --jobs 1        %8s s  = %s sides a minute (processor %s s)\n' "$one" \
  "$(calc "%.1f" "60 * $sides / $one")" "$one_cpu"
printf '  --jobs 2        %8s s  = %s sides a minute (processor %s s)\n' "$two" \
  "$(calc "%.1f" "60 * $sides / $two")" "$two_cpu"
echo "  speed-up        ${speedup}x; target at least 1.7x with 2 jobs: $(verdict "$speedup >= 1.7")"
echo "  outputs and log identical for 1 and 2 jobs: $same"
