#!/usr/bin/env bash
# A private PulseAudio server for the audio tests and benchmarks: a null sink "nullout" (what is
# played goes nowhere, and can be recorded from its monitor) and a source "nullin" remapped from
# that monitor (record devices that are monitors are not listed by Qt).
#   eval "$(scripts/sound-server.sh start [DIR])"   starts it, prints the PULSE_SERVER to export
#   scripts/sound-server.sh stop [DIR]              stops it by its own pid and removes DIR
# DIR defaults to $TARNIVAL_SOUND_DIR or /tmp/tarnival-sound-$UID. The server never touches a
# sound server of the desktop: it has its own socket and is reached only through PULSE_SERVER.
set -euo pipefail
cmd=${1:-}
dir=${2:-${TARNIVAL_SOUND_DIR:-/tmp/tarnival-sound-$(id -u)}}
socket="$dir/native"

alive() { [ -f "$dir/pid" ] && kill -0 "$(cat "$dir/pid")" 2>/dev/null; }
answers() { PULSE_SERVER="unix:$socket" pactl info >/dev/null 2>&1; }

case "$cmd" in
start)
  if alive && answers; then
    echo "export PULSE_SERVER=unix:$socket"
    exit 0
  fi
  command -v pulseaudio >/dev/null && command -v pactl >/dev/null || {
    echo "sound-server.sh: pulseaudio and pactl are not installed (scripts/setup-debian.sh)" >&2
    exit 1
  }
  # A stale folder of a server that died: start afresh.
  [ -d "$dir" ] && ! alive && rm -rf "$dir"
  mkdir -p "$dir"
  chmod 700 "$dir"
  # -n: no default script, so nothing of a desktop set-up (no real cards, no suspend on idle,
  # no cookie needed: the socket lives in a private folder). Runs as root or as a user alike;
  # as root pulseaudio only warns. Kept in the foreground of a background job so that the pid
  # is its own.
  HOME="$dir" XDG_RUNTIME_DIR="$dir" XDG_CONFIG_HOME="$dir" PULSE_RUNTIME_PATH="$dir/runtime" \
    pulseaudio --daemonize=no -n --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
    --disable-shm=yes --log-target=file:"$dir/log" \
    -L "module-native-protocol-unix socket=$socket auth-anonymous=1" \
    -L "module-null-sink sink_name=nullout rate=44100 norewinds=1 sink_properties=device.description=Null-Output" \
    -L "module-remap-source master=nullout.monitor source_name=nullin source_properties=device.description=Null-Input" \
    </dev/null >/dev/null 2>&1 &
  echo $! >"$dir/pid"
  for _ in $(seq 1 100); do
    answers && break
    alive || break
    sleep 0.1
  done
  if ! answers; then
    echo "sound-server.sh: the sound server did not start; its log:" >&2
    cat "$dir/log" >&2 2>/dev/null || true
    kill "$(cat "$dir/pid")" 2>/dev/null || true
    rm -rf "$dir"
    exit 1
  fi
  PULSE_SERVER="unix:$socket" pactl set-default-sink nullout
  PULSE_SERVER="unix:$socket" pactl set-default-source nullin
  # A null sink with nothing playing renders in blocks of up to two seconds, so a recording from
  # its monitor would start seconds late. Silence played with a short latency keeps it rendering
  # in small blocks; adding zeros changes nothing that is recorded.
  PULSE_SERVER="unix:$socket" pacat --playback --latency-msec=20 --rate=44100 --channels=2 \
    --format=s16le --client-name=tarnival-keepalive </dev/zero >/dev/null 2>&1 &
  echo $! >"$dir/keepalive.pid"
  echo "export PULSE_SERVER=unix:$socket"
  ;;
stop)
  if [ -f "$dir/keepalive.pid" ]; then
    kill "$(cat "$dir/keepalive.pid")" 2>/dev/null || true
  fi
  if [ -f "$dir/pid" ]; then
    pid=$(cat "$dir/pid")
    if kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      kill -9 "$pid" 2>/dev/null || true
    fi
  fi
  rm -rf "$dir"
  ;;
*)
  echo "usage: $0 start|stop [DIR]" >&2
  exit 2
  ;;
esac
