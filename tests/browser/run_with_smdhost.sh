#!/usr/bin/env bash
# The dashboard in headless chromium against a real smdhost: a week of
# history (pwrsim, one round every 5 s) kept with --history, then the demo's
# first 24 cycles replayed into the same store with --http (rectifier 1
# faulted at the end; the mains failure raised and cleared on the way),
# lingering after the input so that the page turns stale.
# Usage: run_with_smdhost.sh BUILD_DIR SOURCE_DIR [dashboard_test.py options]
set -euo pipefail
build=$1
src=$2
shift 2
# shellcheck source=launch.sh
. "$src/tests/browser/launch.sh"
python=${SMD_TEST_PYTHON:-/usr/bin/python3}  # Debian's, which has python3-selenium
out=$build/tests/browser
mkdir -p "$out"
work=$(mktemp -d /tmp/dashboard-smdhost-XXXXXX)
log=$out/smdhost.log
: >"$log"
monitor=
cleanup() {
  if [ -n "$monitor" ]; then
    kill "$monitor" 2>/dev/null || true
    wait "$monitor" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

config=$src/samples/demo/config.json
store=$work/store.db
# 2025-12-25T00:00:00 plus 120960 rounds of 5 s ends where the demo's clock
# starts, 2026-01-01T00:00:00.
{ echo "@=2025-12-25T00:00:00"; "$build/bin/pwrsim" trace --rounds 120960 --interval 5 --rectifiers 6 --screens 1 --seed 19; } \
  >"$work/week.scn"
started=$(date +%s%N)
"$build/bin/smdhost" replay "$work/week.scn" --config "$config" --format json --history "$store" >/dev/null
echo "dashboard_test: a week of history stored in $((($(date +%s%N) - started) / 1000000)) ms" \
  "($(stat -c %s "$store") bytes)"
rm -f "$work/week.scn"
sed -n '1,851p' "$src/samples/demo/demo.scn" >"$work/demo.scn"  # rounds 1 to 24

port=$("$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$build/bin/smdhost" replay "$work/demo.scn" --config "$config" --format json --history "$store" \
  --http "127.0.0.1:$port" --linger 200 >"$work/events.jsonl" 2>"$log" &
monitor=$!
wait_for_url "$log" "smdhost: serving " "$monitor" 300
run_page_test "$log" "$url" --stale-wait 75 --screenshot "$out/dashboard.png" "$@"
