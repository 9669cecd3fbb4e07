#!/usr/bin/env bash
# Builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
build_dir=${BUILD_DIR:-build}
cd "$build_dir"
TZ=UTC ctest --output-on-failure -j"$(nproc)" --timeout 300
