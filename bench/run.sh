#!/usr/bin/env bash
# Builds the benchmarks in Release mode and prints every figure in one run.
#   bench/run.sh [BUILD_DIR]     default: build-bench/ in the repository
#   BENCH_AUDIO_MINUTES=N        length of the recording benchmark (default 10; 0 skips it)
# Assumes the build prerequisites are installed (scripts/setup-debian.sh installs them).
# Peak memory is read with /usr/bin/time -v when it is there (Debian package "time"), otherwise
# from the program's own report.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "${1:-$repo/build-bench}" && cd "${1:-$repo/build-bench}" && pwd)

log="$build/bench-build.log"
if ! { cmake -S "$repo" -B "$build" -G Ninja -DTARNIVAL_GUI=OFF -DCMAKE_BUILD_TYPE=Release &&
       cmake --build "$build" --target bench_restore bench_render bench_repair bench_tracks bench_filters \
         bench_encode bench_audio bench_precise \
         -j"$(nproc)"; } >"$log" 2>&1; then
  cat "$log"
  echo "bench/run.sh: the build failed (are the prerequisites installed? scripts/setup-debian.sh)" >&2
  exit 1
fi

# Scratch files live beside the build, on the disk the user works on (not a memory-backed /tmp).
work="$build/bench-data"
rm -rf "$work"
mkdir -p "$work"
sound=""
cleanup() {
  if [ -n "$sound" ]; then "$repo/scripts/sound-server.sh" stop "$sound"; fi
  rm -rf "$work"
}
trap cleanup EXIT

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

echo "== 5. Filters: rumble, hiss + hum + graphic, treble over the 20-minute side =="
# bench_filters copies the side to a working file (not timed), then times the passes inside.
filters_process() {
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -v -o "$work/time.txt" "$build/bench_filters" "$1" >"$work/filters.txt"
    run_rss_mb=$(awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$work/time.txt")
  else
    "$build/bench_filters" "$1" >"$work/filters.txt"
    run_rss_mb=$(field "$work/filters.txt" "peak memory")
  fi
}
filters_process "$work/side20.wav" # warm-up, as for cp
cp_filters=$(copy_seconds "$work/side20.wav")
filters_process "$work/side20.wav"
filters_rss20=$run_rss_mb
filters_seconds=$(field "$work/filters.txt" "filters")
vs_cp_filters=$(calc "%.1f" "$filters_seconds / $cp_filters")
printf '  cp              %8s s\n' "$cp_filters"
printf '  all filters     %8s s  = %sx cp; target within 25x cp: %s\n' "$filters_seconds" \
  "$vs_cp_filters" "$(verdict "$vs_cp_filters <= 25")"
echo "  passes measured inside the process:"
sed 's/^/    /' "$work/filters.txt"
filters_process "$work/side5.wav"
echo "  peak memory     20-minute side ${filters_rss20} MB, 5-minute side ${run_rss_mb} MB" \
  "(ratio $(calc "%.2f" "$filters_rss20 / $run_rss_mb"): independent of length when near 1)"
echo
echo "  hiss reduction: music with hiss 20 and 30 dB below it; SNR against the clean music"
echo "  over 20 s of music, and the change of level in a 0.8 s stretch of noise alone"
"$build/bench_filters" --hiss "$work/hiss" | sed 's/^/  /'
echo "== 6. Encoding: the 20-minute side at each APE level, Ogg quality 5 and FLAC level 5 =="
enc="$work/enc"
mkdir -p "$enc"
cp_enc=$(copy_seconds "$work/side20.wav")
"$build/bench_encode" "$work/side20.wav" "$enc" >"$work/encode.txt"
audio=$(field "$work/encode.txt" "audio")
jar=/usr/share/java/jmac.jar
# Seconds and bytes of a reference encoder run: ref_seconds, ref_bytes.
reference() {
  local out=$1 t0 t1
  shift
  t0=$(now)
  "$@" >/dev/null 2>&1 || { ref_seconds=""; ref_bytes=""; return; }
  t1=$(now)
  ref_seconds=$(elapsed "$t0" "$t1")
  ref_bytes=$(stat -c %s "$out")
  rm -f "$out"
}
printf '  %-11s %8s %8s %7s %7s %7s  %s\n' format "wall s" "cpu s" "x real" "x cp" "% wav" \
  "size against the reference encoder"
ape_java_ok=1
declare -A ref_name=([ape-fast]="Java c1" [ape-normal]="Java c2" [ape-high]="Java c3"
  [ape-extra]="Java c4" [flac-5]="flac -5")
for f in ape-fast ape-normal ape-high ape-extra ogg-5 flac-5; do
  read -r _ wall _ cpu _ bytes _ < <(grep "^$f " "$work/encode.txt")
  line=$(printf '  %-11s %8.2f %8.2f %7.0f %7.1f %7.1f' "$f" "$wall" "$cpu" \
    "$(calc "%.1f" "$audio / $wall")" "$(calc "%.2f" "$wall / $cp_enc")" \
    "$(calc "%.2f" "100 * $bytes / $bytes20")")
  case $f in
    ape-*)
      level=$(( $(printf '%s\n' ape-fast ape-normal ape-high ape-extra | grep -n "^$f$" | cut -d: -f1) ))
      if [ -f "$jar" ] && command -v java >/dev/null; then
        reference "$enc/java.ape" java -jar "$jar" "c$level" "$work/side20.wav" "$enc/java.ape"
      else ref_bytes=""; fi ;;
    flac-5)
      if command -v flac >/dev/null; then
        reference "$enc/ref.flac" flac -5 -s -f -o "$enc/ref.flac" "$work/side20.wav"
      else ref_bytes=""; fi ;;
    *) ref_bytes="" ;;
  esac
  if [ -n "$ref_bytes" ]; then
    diff=$(calc "%+.2f" "100 * ($bytes - $ref_bytes) / $ref_bytes")
    line="$line  ${ref_name[$f]}: $ref_bytes bytes in ${ref_seconds} s; ours ${diff}%"
    case $f in
      ape-*) awk "BEGIN { exit !($diff <= 2) }" || ape_java_ok=0 ;;
      flac-5) flac_diff=$diff flac_ref=$ref_bytes ;;
    esac
  elif [ "$f" != ogg-5 ]; then
    line="$line  (reference encoder missing: scripts/setup-debian.sh installs it)"
    case $f in ape-*) ape_java_ok=0 ;; esac
  fi
  echo "$line"
  case $f in ape-*) sizes_ape="${sizes_ape:-} $bytes" ;; esac
done
if [ -n "${flac_ref:-}" ]; then
  printf '  APE against flac -5:'
  for b in $sizes_ape; do printf ' %s%%' "$(calc "%+.1f" "100 * ($b - $flac_ref) / $flac_ref")"; done
  echo " (Fast, Normal, High, Extra High)"
fi
normal_wall=$(awk '$1 == "ape-normal" { print $2 }' "$work/encode.txt")
normal_cpu=$(awk '$1 == "ape-normal" { print $4 }' "$work/encode.txt")
echo "  cp of the WAV   ${cp_enc} s"
echo "  targets         APE Normal >= 100x real time: $(verdict "$audio / $normal_wall >= 100")" \
  "(wall), $(verdict "$audio / $normal_cpu >= 100") (processor time);" \
  "APE within 2% of Java at each level: $(verdict "$ape_java_ok == 1");" \
  "FLAC within 1% of flac -5: $(verdict "${flac_diff:-99} <= 1 && ${flac_diff:-99} >= -100")"
/usr/bin/time -v -o "$work/time.txt" "$build/bench_encode" "$work/side5.wav" "$enc" ape-normal >/dev/null 2>&1 || true
rss5=$(awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$work/time.txt" 2>/dev/null)
/usr/bin/time -v -o "$work/time.txt" "$build/bench_encode" "$work/side20.wav" "$enc" ape-normal >/dev/null 2>&1 || true
rss20=$(awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$work/time.txt" 2>/dev/null)
echo "  peak memory     APE Normal: 20-minute side ${rss20:-?} MB, 5-minute side ${rss5:-?} MB"
rm -rf "$enc"
minutes=${BENCH_AUDIO_MINUTES:-10}
echo "== 7. Playback and recording through a PulseAudio null sink (bench_audio) =="
# A private sound server (its socket path must stay short, hence /tmp).
sound=$(mktemp -d /tmp/tarnival-sound.XXXXXX)
if sound_env=$("$repo/scripts/sound-server.sh" start "$sound"); then
  eval "$sound_env"
  if [ "$minutes" = "0" ]; then
    "$build/bench_audio" "$work/audio" --skip-recording | sed 's/^/  /'
  else
    echo "  (the recording runs in real time: $minutes minutes)"
    "$build/bench_audio" "$work/audio" --minutes "$minutes" | sed 's/^/  /'
  fi
else
  echo "  skipped: no sound server could be started (pulseaudio; scripts/setup-debian.sh)"
fi
echo "== 8. Precise against standard click repair: four kinds of material, and the 20-minute side =="
"$build/bench_precise" --side "$work/side20.wav" | sed 's/^/  /'
echo "== 9. Batch: eight 5-minute sides with de-click, filters, normalise and APE output =="
"$repo/bench/batch.sh" "$build"
echo "== 10. Views: repaint of the waveform view and the overview on a 30-minute side (bench_views) =="
# The desktop application's libraries: the same build directory with the GUI switched on.
if { cmake -S "$repo" -B "$build" -G Ninja -DTARNIVAL_GUI=ON -DCMAKE_BUILD_TYPE=Release &&
     cmake --build "$build" --target bench_views -j"$(nproc)"; } >"$log" 2>&1; then
  "$build/bench_views" "$work/views" 30 2>/dev/null | sed 's/^/  /'
else
  echo "  skipped: the GUI did not build (see $log)"
fi
