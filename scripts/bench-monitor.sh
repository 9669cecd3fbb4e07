#!/usr/bin/env bash
# CPU cost of the monitor outputs: a generated day of line capture (pwrsim
# trace, 66,000 rounds of 40 rectifiers and two DC screens at 38400 baud, a
# round every 1.309 s) replayed by smdhost as it is, with --mqtt feeding a
# local mosquitto broker that a subscriber follows, and, when smdhost has
# --http, with --http and a client scraping /metrics every second. The
# figure is smdhost's CPU time (user + system, every thread; the median of
# three runs) and its increase over the plain replay. Exit status 1 when a
# replay fails or an output costs more than 20 % over the plain replay.
#
# Usage: scripts/bench-monitor.sh [rounds]   (default 66000, a day)
#   env: BENCH_BUILD_DIR  Release build directory (default build-bench-perf)
#
# Not a test: figures depend on the machine; the 20 % bound is the point.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/ensure-deps.sh time mosquitto mosquitto-clients curl

rounds=${1:-66000}
build=${BENCH_BUILD_DIR:-build-bench-perf}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DSMD_BENCH=ON -DSMD_TESTS=OFF \
  -DSMD_FUZZ=OFF -DSMD_SANITIZE=OFF >/dev/null
cmake --build "$build" -j2 --target smdhost pwrsim >/dev/null
smdhost="$build/bin/smdhost"

tmp=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

"$build/bin/pwrsim" trace --rounds "$rounds" --rectifiers 40 --screens 2 --baud 38400 \
  --interval 1.309 >"$tmp/day.scn"

mqtt_port=$(free_port)
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\n' "$mqtt_port" >"$tmp/mosquitto.conf"
mosquitto -c "$tmp/mosquitto.conf" >"$tmp/mosquitto.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do (echo >"/dev/tcp/127.0.0.1/$mqtt_port") 2>/dev/null && break; sleep 0.1; done
mosquitto_sub -h 127.0.0.1 -p "$mqtt_port" -t 'pxr52/#' >"$tmp/subscribed" &
pids+=($!)

# CPU seconds of one replay with these extra options; a scraper runs beside
# it when the options hold --http.
cpu_of() {
  local http="" scraper=""
  for a in "$@"; do case "$a" in 127.0.0.1:*) http=$a ;; esac; done
  if [ -n "$http" ]; then
    (while sleep 1; do curl -s -o /dev/null "http://$http/metrics" || true; done) &
    scraper=$!
  fi
  local status=0
  TZ=UTC /usr/bin/time -f '%U %S' -o "$tmp/time" "$smdhost" replay "$tmp/day.scn" --format json "$@" \
    >/dev/null 2>"$tmp/err" || status=$?
  [ -z "$scraper" ] || { kill "$scraper"; wait "$scraper" 2>/dev/null || true; }
  if [ "$status" -ne 0 ]; then
    echo "smdhost replay $* failed ($status):" >&2
    cat "$tmp/err" >&2
    return 1
  fi
  awk 'END { printf "%.2f\n", $1 + $2 }' "$tmp/time"
}

median_of() {
  local runs=()
  for _ in 1 2 3; do runs+=("$(cpu_of "$@")") || return 1; done
  printf '%s\n' "${runs[@]}" | sort -n | sed -n 2p
}

cases=("plain|" "mqtt|--mqtt mqtt://127.0.0.1:$mqtt_port")
if "$smdhost" replay --help 2>/dev/null | grep -q -- '--http'; then
  http_port=$(free_port)
  cases+=("http|--http 127.0.0.1:$http_port")
  cases+=("mqtt+http|--mqtt mqtt://127.0.0.1:$mqtt_port --http 127.0.0.1:$http_port")
else
  echo "note: this smdhost has no --http; only --mqtt is measured" >&2
fi

status=0
base=""
printf '%-10s %10s %10s\n' outputs cpu_s over_plain
for c in "${cases[@]}"; do
  name=${c%%|*}
  read -r -a args <<<"${c#*|}"
  cpu=$(median_of "${args[@]}") || { status=1; continue; }
  if [ -z "$base" ]; then
    base=$cpu
    printf '%-10s %10s %10s\n' "$name" "$cpu" "-"
    continue
  fi
  pct=$(awk -v c="$cpu" -v b="$base" 'BEGIN { printf "%.1f", (c - b) / b * 100 }')
  printf '%-10s %10s %9s%%\n' "$name" "$cpu" "$pct"
  if awk -v p="$pct" 'BEGIN { exit !(p > 20) }'; then
    echo "$name costs $pct % over the plain replay, above 20 %" >&2
    status=1
  fi
done
echo "trace: $rounds rounds; $(wc -l <"$tmp/subscribed") messages reached the subscriber;" \
  "load average $(cut -d' ' -f1 /proc/loadavg), $(nproc) cores"
exit $status
