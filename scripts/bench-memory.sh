#!/usr/bin/env bash
# Memory and time of a day of line capture replayed by smdhost: a generated
# 24-hour trace (pwrsim trace, 66,000 rounds of 40 rectifiers and two DC
# screens at 38400 baud, a round every 1.309 s) replayed as a scenario and,
# with the scenario's directives stripped, as a raw capture. Each replay runs
# under /usr/bin/time -v; the table gives wall time, maximum resident set
# size and the records published. Exit status 1 when a replay fails, does not
# publish every round, or takes 64 MB or more.
#
# Usage: scripts/bench-memory.sh [rounds]   (default 66000)
#   env: BENCH_BUILD_DIR  Release build directory (default build-bench-perf)
#        KEEP_TRACE=1     keep the generated files (their folder is printed)
#
# Not a test: figures depend on the machine; the memory bound is the point.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/ensure-deps.sh time

rounds=${1:-66000}
limit_kb=$((64 * 1024))
build=${BENCH_BUILD_DIR:-build-bench-perf}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DSMD_BENCH=ON -DSMD_TESTS=OFF \
  -DSMD_FUZZ=OFF -DSMD_SANITIZE=OFF >/dev/null
cmake --build "$build" -j2 --target smdhost pwrsim >/dev/null

tmp=$(mktemp -d)
if [ "${KEEP_TRACE:-0}" = 1 ]; then
  echo "files kept in $tmp" >&2
else
  trap 'rm -rf "$tmp"' EXIT
fi

"$build/bin/pwrsim" trace --rounds "$rounds" --rectifiers 40 --screens 2 --baud 38400 \
  --interval 1.309 >"$tmp/day.scn"
# The frames as they were on the line, each ended by CR: a raw capture.
awk '/^~/ { printf "%s\r", $0 }' "$tmp/day.scn" >"$tmp/day.raw"
span=$(awk -F+ '/^@\+/ { s += $2 } END { printf "%.1f", s / 3600 }' "$tmp/day.scn")

status=0
printf '%-9s %10s %12s %10s %12s\n' input size_MB wall_s max_RSS_MB published
for kind in scn raw; do
  args=(replay "$tmp/day.$kind" --format json)
  [ "$kind" = raw ] && args+=(--raw --baud 38400)
  # The events are counted as they come, not kept: a day of them is large.
  set +o pipefail
  TZ=UTC /usr/bin/time -v -o "$tmp/time.$kind" "$build/bin/smdhost" "${args[@]}" \
    2>"$tmp/err.$kind" | grep -c '"ev":"publish"' >"$tmp/published.$kind"
  replay_status=${PIPESTATUS[0]}
  set -o pipefail
  if [ "$replay_status" -ne 0 ]; then
    echo "smdhost replay of the $kind file failed:" >&2
    cat "$tmp/err.$kind" >&2
    status=1
  fi
  published=$(cat "$tmp/published.$kind")
  rss_kb=$(sed -n 's/.*Maximum resident set size (kbytes): *//p' "$tmp/time.$kind")
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): *//p' "$tmp/time.$kind" |
    awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; printf "%.1f", s }')
  size=$(stat -c %s "$tmp/day.$kind" | awk '{ printf "%.1f", $1 / 1048576 }')
  printf '%-9s %10s %12s %10.1f %12s\n' "$kind" "$size" "$wall" "$(echo "$rss_kb" |
    awk '{ print $1 / 1024 }')" "$published"
  if [ "$published" -ne "$rounds" ]; then
    echo "the $kind replay published $published of $rounds rounds" >&2
    status=1
  fi
  if [ "$rss_kb" -ge "$limit_kb" ]; then
    echo "the $kind replay took $rss_kb kB, at or above the 64 MB bound" >&2
    status=1
  fi
done
echo "trace: $rounds rounds spanning $span h of line time; load average $(cut -d' ' -f1 /proc/loadavg)"
exit $status
