#!/usr/bin/env bash
# CPU that smdhost spends on a replay of a 24-hour capture (pwrsim, a full
# plant: 40 rectifiers, two DC screens, a round every 5 s), without the
# monitor, and with --http while a client scrapes /metrics every second
# (FOLLOW_EVENTS=1: and another follows /events). Prints both figures and
# the ratio; judges nothing. Extra arguments go to the monitored run (--mqtt
# URL, say).
# Usage: bench/monitor_cpu.sh [BUILD_DIR] [smdhost options]
set -euo pipefail
build=${1:-build}
shift || true
work=$(mktemp -d /tmp/monitor-cpu-XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

"$build/bin/pwrsim" trace --rounds 17280 --interval 5 --rectifiers 40 --screens 2 --seed 24 >"$work/day.scn"
cpu() {  # user + system seconds of the command, from its own rusage
  /usr/bin/time -f "%U %S" -o "$work/time" "$@" >/dev/null
  awk '{ printf "%.2f", $1 + $2 }' "$work/time"
}

plain=$(cpu "$build/bin/smdhost" replay "$work/day.scn" --format json)

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkfifo "$work/in.scn"
exec 3<>"$work/in.scn"  # held open: the replay waits for the capture
/usr/bin/time -f "%U %S" -o "$work/time" "$build/bin/smdhost" replay "$work/in.scn" --format json \
  --http "127.0.0.1:$port" "$@" >/dev/null 2>"$work/err" 3>&- &
monitor=$!
pids+=("$monitor")
for _ in $(seq 100); do grep -qs serving "$work/err" && break; sleep 0.1; done
# The clients must not hold the capture's pipe open. The stream client
# reconnects as a browser does when the server drops it for falling behind.
if [ "${FOLLOW_EVENTS:-0}" = 1 ]; then
  (while curl -sN -o /dev/null "http://127.0.0.1:$port/events"; do :; done) 3>&- &
  pids+=($!)
fi
(while curl -s -o /dev/null "http://127.0.0.1:$port/metrics"; do sleep 1; done) 3>&- &
pids+=($!)
sleep 1
cat "$work/day.scn" >&3
exec 3>&-
wait "$monitor" || true
served=$(awk '{ printf "%.2f", $1 + $2 }' "$work/time")
clients="/metrics scraped every second"
[ "${FOLLOW_EVENTS:-0}" = 1 ] && clients="$clients, /events followed"
echo "24-hour replay, CPU seconds: $plain without the monitor, $served with --http, $clients" \
  "($(awk -v a="$plain" -v b="$served" 'BEGIN { printf "%+.0f %%", (b / a - 1) * 100 }'))"
