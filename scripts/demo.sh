#!/usr/bin/env bash
# The main job: builds what it needs (the plug-in, the host layer and
# smdhost; installing missing Debian packages first) and replays the bundled
# demo, a few minutes of simulated plant life with a mains failure and a
# rectifier fault, as text for a person to read. The test command
# (scripts/test.sh) builds everything else.
# Extra arguments go to smdhost (for example -v, or --format json).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_TARGETS=smdhost scripts/build.sh
build_dir=${BUILD_DIR:-build}
exec "$build_dir/bin/smdhost" replay samples/demo/demo.scn --config samples/demo/config.json \
  --format text "$@"
