#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehavior-
# Sanitizer) in build-fuzz/ and runs each for the given time, one after the
# other (one core). Campaigns of different targets may run at the same time
# from separate invocations, one core each.
#
# Usage: scripts/fuzz.sh [seconds-per-target] [target...]
#   targets: frame_decoder capture_frames poll_decoders cache_load
#            init_setting device_ioctl monitor_text scenario record_values
#            (default: all of them)
#   env:     FUZZ_BUILD_DIR  build directory (default build-fuzz)
#            FUZZ_ARGS       extra libFuzzer flags, e.g. "-runs=10000000"
#
# Before fuzzing, every committed reproducer under fuzz/regressions/<target>/
# is run once. Each target then starts from the generated seeds, the small
# committed corpus fuzz/corpus/<target>/ and its own growing corpus
# <build>/corpus/<target>/ (kept between runs). A finding is written to
# <build>/findings/<target>/ and makes the script exit with status 1.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD

seconds=${1:-60}
shift || true
all_targets=(frame_decoder capture_frames poll_decoders cache_load init_setting device_ioctl monitor_text scenario
  record_values)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")
for t in "${targets[@]}"; do
  case " ${all_targets[*]} " in
    *" $t "*) ;;
    *) echo "unknown fuzz target: $t (known: ${all_targets[*]})" >&2; exit 2 ;;
  esac
done

scripts/ensure-deps.sh clang libclang-rt-14-dev

build=${FUZZ_BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSMD_FUZZ=ON -DSMD_TESTS=OFF -DSMD_BENCH=OFF -DSMD_SANITIZE=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_all
build=$(cd "$build" && pwd)

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

# Seeds of this run in a folder of its own, so that campaigns of different
# targets can run side by side on one build directory.
seeds=$(mktemp -d "$build/seeds.XXXXXX")
trap 'rm -rf "$seeds"' EXIT
"$build/bin/fuzz_seeds" "$seeds" >/dev/null

status=0
summary=()
for t in "${targets[@]}"; do
  bin="$build/bin/fuzz_$t"
  mkdir -p "$build/corpus/$t" "$build/findings/$t" "$build/logs"
  log="$build/logs/$t.log"

  regress=("$src/fuzz/regressions/$t"/*)
  if [ -e "${regress[0]}" ]; then
    if ! "$bin" "${regress[@]}" >"$build/logs/$t.regressions.log" 2>&1; then
      echo "FAIL $t: a committed reproducer fails again (see $build/logs/$t.regressions.log)" >&2
      status=1
      summary+=("$t: reproducer under fuzz/regressions/$t fails")
      continue
    fi
  fi

  dirs=("$build/corpus/$t" "$seeds/$t")
  [ -d "$src/fuzz/corpus/$t" ] && dirs+=("$src/fuzz/corpus/$t")
  echo "fuzzing $t for ${seconds}s" >&2
  # shellcheck disable=SC2086
  if "$bin" "${dirs[@]}" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$build/findings/$t/" ${FUZZ_ARGS:-} \
      >"$log" 2>&1; then
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
    summary+=("$t: ${execs:-?} executions in ${took:-?} s, no finding")
  elif grep -q 'libFuzzer: run interrupted' "$log"; then
    status=1
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    summary+=("$t: interrupted after ${execs:-?} executions, no finding")
  else
    status=1
    finding=$(sed -n 's/.*Test unit written to //p' "$log" | tail -1)
    summary+=("$t: FINDING ${finding:-(see $log)}")
    grep -E 'ERROR|SUMMARY|property violated|runtime error' "$log" | head -5 >&2 || true
  fi
done

printf '%s\n' "${summary[@]}"
exit $status
