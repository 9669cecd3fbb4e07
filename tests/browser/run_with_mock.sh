#!/usr/bin/env bash
# The dashboard page in headless chromium against tests/browser/mock_api.py,
# which serves the page's folder and an /api/ built from a replay of the
# demo. Usage: run_with_mock.sh BUILD_DIR SOURCE_DIR [dashboard_test.py options]
set -euo pipefail
build=$1
src=$2
shift 2
# shellcheck source=launch.sh
. "$src/tests/browser/launch.sh"
python=${SMD_TEST_PYTHON:-/usr/bin/python3}  # Debian's, which has python3-selenium
out=$build/tests/browser
mkdir -p "$out"
log=$out/mock_api.log
: >"$log"  # here, not in the background job: the loop below must never read a previous run's port

"$python" "$src/tests/browser/mock_api.py" --smdhost "$build/bin/smdhost" --catalogue "$build/bin/catalogue_json" \
  --scenario "$src/samples/demo/demo.scn" --config "$src/samples/demo/config.json" \
  --dashboard "$src/tools/smdhost/outputs/dashboard" --interval 1.5 >"$log" 2>&1 &
mock=$!
trap 'kill "$mock" 2>/dev/null || true; wait "$mock" 2>/dev/null || true' EXIT

wait_for_url "$log" "listening on " "$mock" 150
run_page_test "$log" "$url" --stale-url "${url}mock/stale?age=58" --screenshot "$out/dashboard.png" "$@"
