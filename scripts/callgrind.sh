#!/usr/bin/env bash
# Instruction counts of one capture round per threshold mode, under
# valgrind's callgrind, written to bench/callgrind-baseline.txt (kept in the
# repository: a change that makes a round dearer shows in review as a
# changed line of that file).
#
# Each count is one steady-state round of sixteen frames, two DC screens,
# RoundDone included, as bench/round_once.cpp plays it; collection is on
# only inside that round. The build is Release in build-bench-perf/ (or
# $BENCH_BUILD_DIR), so counts compare between runs of this script on the
# same compiler.
#
# Usage: scripts/callgrind.sh [--check]
#   --check  compare with the kept file and leave it unchanged; exit 1 when
#            any round costs more than 2 % above its kept count.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/ensure-deps.sh valgrind

check=false
case "${1:-}" in
  "") ;;
  --check) check=true ;;
  *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac

build=${BENCH_BUILD_DIR:-build-bench-perf}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DSMD_BENCH=ON -DSMD_TESTS=OFF \
  -DSMD_FUZZ=OFF -DSMD_SANITIZE=OFF >/dev/null
cmake --build "$build" -j2 --target round_once >/dev/null

baseline=bench/callgrind-baseline.txt
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# mode rectifiers
cases=("1 40" "2 40" "5 40" "0 40" "1 1" "2 1")
{
  echo "# Instructions (Ir) of one steady-state capture round: 16 frames, two DC"
  echo "# screens, RoundDone included. Written by scripts/callgrind.sh; $(c++ --version | head -1)."
  for c in "${cases[@]}"; do
    read -r mode rect <<<"$c"
    out="$tmp/callgrind.$mode.$rect"
    TZ=UTC valgrind --tool=callgrind --callgrind-out-file="$out" \
      --toggle-collect='*measured_round*' "$build/bin/round_once" "$mode" "$rect" 2>"$tmp/log" || {
      cat "$tmp/log" >&2
      exit 1
    }
    ir=$(awk '/^(summary|totals):/ { print $2; exit }' "$out")
    printf 'round mode=%s rectifiers=%s Ir=%s\n' "$mode" "$rect" "$ir"
  done
} >"$tmp/new"

status=0
if [ -f "$baseline" ]; then
  # Compare case by case with the kept counts.
  while read -r _ m r ir; do
    old=$(awk -v m="$m" -v r="$r" '$2 == m && $3 == r { sub("Ir=", "", $4); print $4 }' "$baseline")
    new=${ir#Ir=}
    if [ -z "$old" ]; then
      printf '%-26s %12s  (new)\n' "$m $r" "$new"
    else
      pct=$(awk -v o="$old" -v n="$new" 'BEGIN { printf "%+.1f", (n - o) * 100 / o }')
      printf '%-26s %12s  was %12s  %s %%\n' "$m $r" "$new" "$old" "$pct"
      if awk -v p="$pct" 'BEGIN { exit !(p > 2.0) }'; then status=1; fi
    fi
  done < <(grep '^round ' "$tmp/new")
else
  grep '^round ' "$tmp/new"
fi

if $check; then
  [ $status -eq 0 ] || echo "a round costs more than 2 % above $baseline" >&2
  exit $status
fi
cp "$tmp/new" "$baseline"
echo "wrote $baseline"
