#!/usr/bin/env bash
# Configures and builds into build/ (or $BUILD_DIR): everything, or only the
# targets named in $BUILD_TARGETS (for example "smdhost", which brings the
# plug-in and the host layer with it). Extra arguments go to cmake's
# configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/ensure-deps.sh
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} "$@" >/dev/null
targets=()
for t in ${BUILD_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$build_dir" -j"$(nproc)" "${targets[@]}"
