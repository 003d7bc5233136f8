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

seconds() { sed -n 's/^time \([0-9.]*\) s.*/\1/p' <<<"$1"; }
area() { sed -n 's/.*area \([0-9.-]*\)$/\1/p' <<<"$1"; }

row() {
    local name=$1 op=$2 a=$3 b=${4:-}
    local files=("$data/$a")
    [[ -n $b ]] && files+=("$data/$b")
    # The engine's times are the best of three runs, to damp the noise of a shared machine.
    local ours=() out
    for t in 1 2 4 8; do
        local best=""
        for _ in 1 2 3; do
            out=$("$bin/boolean_bench" "$op" "${files[@]}" -t "$t")
            best=$(awk -v a="$best" -v b="$(seconds "$out")" 'BEGIN { print (a == "" || b < a) ? b : a }')
        done
        ours+=("$best")
    done
    local our_area clipper klayout
    our_area=$(area "$out")
    out=$("$bin/clipper_bench" "$op" "${files[@]}")
    clipper=$(seconds "$out")
    local clipper_area
    clipper_area=$(area "$out")
    local kargs=(-rd "op=$op" -rd "a=$data/$a")
    [[ -n $b ]] && kargs+=(-rd "b=$data/$b")
    out=$(klayout -b -r "$here/klayout_bench.py" "${kargs[@]}")
    klayout=$(seconds "$out")
    local klayout_area
    klayout_area=$(area "$out")
    local speedup diff
    speedup=$(awk -v a="${ours[0]}" -v b="${ours[3]}" 'BEGIN { printf "%.1f", a / b }')
    # Largest relative area difference to the two peers.
    diff=$(awk -v o="$our_area" -v c="$clipper_area" -v k="$klayout_area" 'BEGIN {
        d1 = (o - c) / o; d2 = (o - k) / o; if (d1 < 0) d1 = -d1; if (d2 < 0) d2 = -d2;
        printf "%.1e", (d1 > d2 ? d1 : d2) }')
    echo "| $name | $op | ${ours[0]} | ${ours[1]} | ${ours[2]} | ${ours[3]} | $speedup | $clipper | $klayout | $diff |"
}

echo "| family | operation | ours 1 t | ours 2 t | ours 4 t | ours 8 t | 8 t speed-up | Clipper | KLayout | area difference |"
echo "|---|---|---|---|---|---|---|---|---|---|"
row "F1, N = 10^5" union f1_1e5.rings
row "F1, N = 10^6" union f1_1e6.rings
row "F2, 2 x 2·10^5" intersection f2_a.rings f2_b.rings
row "F2, 2 x 2·10^5" xor f2_a.rings f2_b.rings
row "F3, N = 10^5" union f3.rings
row "F4, N = 2000" union f4.rings
