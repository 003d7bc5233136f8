#!/usr/bin/env bash
# Times dilate and erode by 50 units (miter and round joins) of the box family F1 (10^5 boxes) and
# the circle family F4 (2000 circles) at 1 and 8 threads, against Clipper (a union, then
# ClipperOffset with miter limit 2 and arc tolerance 1, one thread), and prints a Markdown table.
#   bench/boolean/offset_run.sh BUILD_DIR [DATA_DIR]     (BUILD_DIR configured with -DQV_BENCH=ON)
set -euo pipefail
build=${1:?usage: offset_run.sh BUILD_DIR [DATA_DIR]}
data=${2:-/tmp/quorvane-boolean-bench}
bin=$build/bench/boolean
mkdir -p "$data"

gen() { [[ -f $data/$2 ]] || "$bin/boolean_gen" "$1" "$3" "$4" "$data/$2"; }
gen F1 f1_1e5.rings 100000 1
gen F4 f4.rings 2000 5

seconds() { sed -n 's/^time \([0-9.]*\) s.*/\1/p'; }

row() {
    local name=$1 op=$2 join=$3 file=$4
    local args=("$op" "$data/$file" -d 50 -j "$join")
    local one eight clipper speedup
    one=$("$bin/boolean_bench" "${args[@]}" -t 1 | seconds)
    eight=$("$bin/boolean_bench" "${args[@]}" -t 8 | seconds)
    clipper=$("$bin/clipper_bench" "${args[@]}" | seconds)
    speedup=$(awk -v a="$one" -v b="$eight" 'BEGIN { printf "%.1f", a / b }')
    echo "| $name | $op 50 | $join | $one | $eight | $speedup | $clipper |"
}

echo "| family | operation | join | ours 1 t | ours 8 t | 8 t speed-up | Clipper |"
echo "|---|---|---|---|---|---|---|"
for op in dilate erode; do
    for join in miter round; do
        row "F1, N = 10^5" "$op" "$join" f1_1e5.rings
        row "F4, N = 2000" "$op" "$join" f4.rings
    done
done
