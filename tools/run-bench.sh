#!/usr/bin/env bash
# Runs every benchmark program of a build and prints its figures beside their anchors.
# Each program checks its own answers; a wrong answer fails this script. A missed speed target is
# reported (each program marks it) but does not fail: timings on a shared machine are noisy.
# Usage: tools/run-bench.sh [build dir]   (default: build)
# ZEM_BENCH_ROUNDS=N runs each figure and its anchor N times in turn instead of the programs' five
# (CI uses fewer: it checks that the programs run and answer right, not the figures).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export TARVOK_DLL_PATH=$build/bin
status=0

pgdir=$(mktemp -d /tmp/zem-pg-bench.XXXXXX)
# The programs run in a scratch folder: some leave cache files where they run.
scratch=$(mktemp -d /tmp/zem-bench-run.XXXXXX)
trap '"$root/tools/pg-test-cluster.sh" stop "$pgdir"; rm -rf "$scratch"' EXIT
cd "$scratch" || exit 1
if ZEM_PG_CONNINFO=$("$root/tools/pg-test-cluster.sh" start "$pgdir"); then
  export ZEM_PG_CONNINFO
fi

for b in bench_text bench_para bench_dbdata bench_sqlca bench_dict bench_tree_dict bench_app_server bench_mg bench_mg_edit bench_mg_menu bench_tree bench_inputs bench_combo bench_wait_box bench_start; do
  bin=$build/bin/$b
  [ -x "$bin" ] || continue
  echo "== $b"
  rounds=()
  [ -n "${ZEM_BENCH_ROUNDS:-}" ] && rounds=(--rounds="$ZEM_BENCH_ROUNDS")
  out=$("$bin" --benchmark_color=false "${rounds[@]}" 2>&1)
  rc=$?
  # The figures each program prints after its Google Benchmark table.
  printf '%s\n' "$out" | sed 's/\x1b\[[0-9;]*m//g' | grep -v -E '^([0-9]{4}-[0-9]{2}-|\*\*\*WARNING|-{10,}|Benchmark +Time|Running |Run on|CPU Caches|  L[0-9]|Load Average)' \
    | grep -v -E '^BM_' | sed '/^$/d'
  if [ $rc -ne 0 ] || printf '%s\n' "$out" | grep -q -E 'ERROR OCCURRED|wrong|disagrees'; then
    echo "$b: FAILED (exit $rc)"
    status=1
  fi
done

if [ -x "$build/bin/bench_grid" ]; then
  echo "== bench_grid"
  if ! "$root/bench/toolkit/run_grid_bench.sh" "$build"; then
    echo "bench_grid: a target was missed or a check failed (see above)"
  fi
fi
exit $status
