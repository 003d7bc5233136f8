#!/usr/bin/env bash
# Generates the input families, times the engine at 1, 2, 4 and 8 threads, Clipper and KLayout
# (flat Region, one thread) on the same inputs, and prints a Markdown table.
#   bench/boolean/run.sh BUILD_DIR [DATA_DIR]     (BUILD_DIR configured with -DQV_BENCH=ON)
set -euo pipefail
build=${1:?usage: run.sh BUILD_DIR [DATA_DIR]}
data=${2:-/tmp/quorvane-boolean-bench}
here=$(cd "$(dirname "$0")" && pwd)
bin=$build/bench/boolean
mkdir -p "$data"

gen() { [[ -f $data/$2 ]] || "$bin/boolean_gen" "$1" "$3" "$4" "$data/$2"; }
gen F1 f1_1e5.rings 100000 1
gen F1 f1_1e6.rings 1000000 1
gen F1 f2_a.rings 200000 2
gen F1 f2_b.rings 200000 3
gen F3 f3.rings 100000 4
gen F4 f4.rings 2000 5

seconds() { sed -n 's/^time \([0-9.]*\) s.*/\1/p'; }

row() {
    local name=$1 op=$2 a=$3 b=${4:-}
    local files=("$data/$a")
    [[ -n $b ]] && files+=("$data/$b")
    local ours=()
    for t in 1 2 4 8; do
        ours+=("$("$bin/boolean_bench" "$op" "${files[@]}" -t "$t" | seconds)")
    done
    local clipper klayout
    clipper=$("$bin/clipper_bench" "$op" "${files[@]}" | seconds)
    local kargs=(-rd "op=$op" -rd "a=$data/$a")
    [[ -n $b ]] && kargs+=(-rd "b=$data/$b")
    klayout=$(klayout -b -r "$here/klayout_bench.py" "${kargs[@]}" | seconds)
    local speedup
    speedup=$(awk -v a="${ours[0]}" -v b="${ours[3]}" 'BEGIN { printf "%.1f", a / b }')
    echo "| $name | $op | ${ours[0]} | ${ours[1]} | ${ours[2]} | ${ours[3]} | $speedup | $clipper | $klayout |"
}

echo "| family | operation | ours 1 t | ours 2 t | ours 4 t | ours 8 t | 8 t speed-up | Clipper | KLayout |"
echo "|---|---|---|---|---|---|---|---|---|"
row "F1, N = 10^5" union f1_1e5.rings
row "F1, N = 10^6" union f1_1e6.rings
row "F2, 2 x 2·10^5" intersection f2_a.rings f2_b.rings
row "F2, 2 x 2·10^5" xor f2_a.rings f2_b.rings
row "F3, N = 10^5" union f3.rings
row "F4, N = 2000" union f4.rings
