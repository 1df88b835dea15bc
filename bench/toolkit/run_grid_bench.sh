#!/usr/bin/env bash
# Runs every mode of bench_grid in its own process and prints the figures beside their anchors:
#   100,000 rows: TStringGrid fill and peak memory vs QTableWidget (targets: at most half of each),
#                 paint of a 1200 x 800 viewport scrolled to the middle vs QTableWidget's;
#   1,000,000 rows: TStringGrid fill and peak memory against ten times the 100,000-row ones (linear
#                 growth: within 1.2 times), paint against the 100,000-row paint (within 1.2 times).
# Every mode runs five times (ROUNDS overrides), the modes taking turns, and each figure is the least of
# its runs (CPU seconds of the thread; the machine may be shared).
# Usage: run_grid_bench.sh [build dir]   (default: build-grid beside this source tree)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../../build-grid}"
bin="$build/bin/bench_grid"
[ -x "$bin" ] || { echo "bench_grid not found at $bin (build the bench_grid target)" >&2; exit 2; }
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

# run MODE ROWS -> "seconds peak_mb", failing loudly when the benchmark's own check fails
run() {
    local line
    line="$("$bin" "$1" "$2" --benchmark_min_time=0.5 2>/dev/null | grep '^RESULT' || true)"
    case "$line" in
        *ok=1*) ;;
        *) echo "bench_grid $1 $2 failed: ${line:-no result}" >&2; exit 1 ;;
    esac
    local s m
    s="$(sed -n 's/.* seconds=\([0-9.]*\).*/\1/p' <<<"$line")"
    m="$(sed -n 's/.* peak_mb=\([0-9.]*\).*/\1/p' <<<"$line")"
    echo "$s $m"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
ms() { awk -v a="$1" 'BEGIN { printf "%.2f ms", a * 1000 }'; }

least() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }

modes=("fill_tk 100000" "fill_qt 100000" "paint_tk 100000" "paint_qt 100000" "fill_tk 1000000" "paint_tk 1000000")
declare -A sec mb
for ((round = 0; round < ${ROUNDS:-5}; round++)); do
    for m in "${modes[@]}"; do
        read -r s p <<<"$(run $m)"
        sec[$m]=$(least "${sec[$m]:-}" "$s")
        mb[$m]=$(least "${mb[$m]:-}" "$p")
    done
done
tk_fill=${sec[fill_tk 100000]} tk_mem=${mb[fill_tk 100000]}
qt_fill=${sec[fill_qt 100000]} qt_mem=${mb[fill_qt 100000]}
tk_paint=${sec[paint_tk 100000]} qt_paint=${sec[paint_qt 100000]}
tk_fill_m=${sec[fill_tk 1000000]} tk_mem_m=${mb[fill_tk 1000000]}
tk_paint_m=${sec[paint_tk 1000000]}

# The machine, as the other benchmark programs print it.
"$bin" machine

status=0
# row TITLE OURS ANCHOR UNIT TARGET: one line with the ratio and, when there is a target on the ratio
# ("<= 0.5", printed "<= 0.5x"), ok or MISSED (a miss fails the script).
row() {
    local r verdict=""
    r=$(ratio "$2" "$3")
    if [ -n "$5" ]; then
        if awk -v r="$r" -v t="${5#* }" -v op="${5%% *}" 'BEGIN { exit !(op == "<=" ? r <= t : r >= t) }'; then
            verdict="ok"
        else
            verdict="MISSED"
            status=1
        fi
    fi
    printf '%-44s %14s %14s %8s  %-9s %s\n' "$1" "$(fmt "$2" "$4")" "$(fmt "$3" "$4")" "$r" "${5:+$5x}" "$verdict"
}
fmt() { if [ "$2" = ms ]; then ms "$1"; else echo "$1 MB"; fi; }
ten() { awk -v a="$1" 'BEGIN { printf "%.6g", a * 10 }'; }

printf '%-44s %14s %14s %8s  %s\n' "figure" "TStringGrid" "anchor" "ratio" "target"
row "fill 100,000 x 10 (anchor QTableWidget)" "$tk_fill" "$qt_fill" ms "<= 0.5"
row "peak memory of that fill (anchor QTableWidget)" "$tk_mem" "$qt_mem" MB "<= 0.5"
row "paint 1200x800 at row 50,000 (QTableWidget)" "$tk_paint" "$qt_paint" ms ""
row "fill 1,000,000 x 10 (anchor 10 x 100,000)" "$tk_fill_m" "$(ten "$tk_fill")" ms "<= 1.2"
row "peak memory 1,000,000 (anchor 10 x 100,000)" "$tk_mem_m" "$(ten "$tk_mem")" MB "<= 1.2"
row "paint at row 500,000 (anchor 100,000 paint)" "$tk_paint_m" "$tk_paint" ms "<= 1.2"
exit $status
