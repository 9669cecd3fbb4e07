#!/usr/bin/env bash
# Builds the benchmarks in Release (build-bench-perf/, or $BENCH_BUILD_DIR)
# and runs the suite, five repetitions each, printing one table of medians:
#
#   benchmark | median | unit | allocs | other counters
#
# "median" is the median CPU time of one iteration (a frame, a round, a
# start-up); "allocs" the allocations of one iteration (counting allocator,
# bench/support/counting_alloc.cpp). Extra arguments go to the benchmark
# program, e.g. --benchmark_filter=BM_Round. The raw JSON stays in
# <build dir>/bench-results.json.
#
# Figures are only comparable on a quiet machine: the script says so when
# the load average is 1.5 or more.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/ensure-deps.sh jq bsdextrautils  # jq reads the results, column lays out the table

build=${BENCH_BUILD_DIR:-build-bench-perf}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DSMD_BENCH=ON -DSMD_TESTS=OFF \
  -DSMD_FUZZ=OFF -DSMD_SANITIZE=OFF >/dev/null
cmake --build "$build" -j2 --target smd_bench >/dev/null

load=$(cut -d' ' -f1 /proc/loadavg)
if awk -v l="$load" 'BEGIN { exit !(l >= 1.5) }'; then
  echo "note: load average $load (>= 1.5): figures are noisy, rerun when the machine is quiet" >&2
fi

json="$build/bench-results.json"
log="$build/bench-console.txt"
TZ=UTC "$build/bin/smd_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_out="$json" --benchmark_out_format=json "$@" >"$log" 2>&1 || {
  cat "$log" >&2
  exit 1
}

echo "load average at start: $load; $(nproc) cores; Release build in $build"
jq -r '
  def num: if . == null then "-"
           elif . >= 1e6 then "\((. / 1e6 * 10 | round) / 10)M"
           elif . >= 1e4 then "\((. / 1e3 * 10 | round) / 10)k"
           elif . == (. | floor) then "\(.)"
           else "\((. * 100 | round) / 100)" end;
  def extras: to_entries
    | map(select(.key | IN("bytes_per_second", "heap_bytes", "object_bytes", "held_bytes", "info_bytes", "frames")))
    | map(if .key == "bytes_per_second" then "MB/s=\((.value / 1e6 * 10 | round) / 10)"
          else "\(.key)=\(.value | num)" end)
    | join(" ");
  ["benchmark", "median", "unit", "allocs", "other"],
  (.benchmarks[]
   | if .error_occurred then [.run_name, "-", "-", "-", "ERROR: \(.error_message)"]
     elif .aggregate_name == "median" then
       [.run_name, ((.cpu_time * 100 | round) / 100 | tostring), .time_unit, (.allocs | num), extras]
     else empty end)
  | @tsv' "$json" | column -t -s $'\t'
# A benchmark that found its set-up wrong (a round not published, a reply
# refused) reports an error instead of a time: fail then.
if jq -e '[.benchmarks[] | select(.error_occurred)] | length > 0' "$json" >/dev/null; then
  exit 1
fi
