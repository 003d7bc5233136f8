#!/usr/bin/env bash
# Generates the input families and times the engine at 1 and 8 threads against KLayout's tiled
# mode (TilingProcessor, 16 x 16 tiles) at 1 and 8 threads, interleaved over ROUNDS rounds (3 by
# default) and reported as medians; Clipper and KLayout's flat Region (one thread each) run once,
# unless PEERS=0. Prints a Markdown table of seconds and one of peak memory (MB, whole process,
# /usr/bin/time; ours also without the driver's copies of the input).
#   bench/boolean/run.sh BUILD_DIR [DATA_DIR]     (BUILD_DIR configured with -DQV_BENCH=ON)
set -euo pipefail
build=${1:?usage: run.sh BUILD_DIR [DATA_DIR]}
data=${2:-/tmp/quorvane-boolean-bench}
rounds=${ROUNDS:-3}
peers=${PEERS:-1}
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
above_input() { sed -n 's/.*peak \([0-9]*\) MB above the input.*/\1/p' <<<"$1"; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Runs a command, leaving its output in $out and its peak resident size in MB in $peak.
measure() {
    local log
    log=$(mktemp)
    out=$(/usr/bin/time -o "$log" -f %M "$@")
    peak=$(awk '{ printf "%d", $1 / 1024 }' "$log")
    rm -f "$log"
}

times_table=()
memory_table=()
row() {
    local name=$1 op=$2 a=$3 b=${4:-}
    local files=("$data/$a")
    [[ -n $b ]] && files+=("$data/$b")
    local kargs=(-rd "op=$op" -rd "a=$data/$a")
    [[ -n $b ]] && kargs+=(-rd "b=$data/$b")
    local ours1=() ours8=() tiled1=() tiled8=() out peak
    local ours_peak ours_above tiled_peak our_area
    for _ in $(seq "$rounds"); do
        measure "$bin/boolean_bench" "$op" "${files[@]}" -t 1
        ours1+=("$(seconds "$out")")
        ours_peak=$peak ours_above=$(above_input "$out") our_area=$(area "$out")
        measure klayout -b -r "$here/klayout_bench.py" "${kargs[@]}" -rd tiles=16 -rd threads=1
        tiled1+=("$(seconds "$out")")
        tiled_peak=$peak
        measure "$bin/boolean_bench" "$op" "${files[@]}" -t 8
        ours8+=("$(seconds "$out")")
        measure klayout -b -r "$here/klayout_bench.py" "${kargs[@]}" -rd tiles=16 -rd threads=8
        tiled8+=("$(seconds "$out")")
    done
    local o1 o8 t1 t8 clipper=- klayout=- clipper_peak=- klayout_peak=- diff=-
    o1=$(median "${ours1[@]}") o8=$(median "${ours8[@]}")
    t1=$(median "${tiled1[@]}") t8=$(median "${tiled8[@]}")
    if [[ $peers != 0 ]]; then
        measure "$bin/clipper_bench" "$op" "${files[@]}"
        clipper=$(seconds "$out") clipper_peak=$peak
        local clipper_area
        clipper_area=$(area "$out")
        measure klayout -b -r "$here/klayout_bench.py" "${kargs[@]}"
        klayout=$(seconds "$out") klayout_peak=$peak
        local klayout_area
        klayout_area=$(area "$out")
        # Largest relative area difference to the two peers.
        diff=$(awk -v o="$our_area" -v c="$clipper_area" -v k="$klayout_area" 'BEGIN {
            d1 = (o - c) / o; d2 = (o - k) / o; if (d1 < 0) d1 = -d1; if (d2 < 0) d2 = -d2;
            printf "%.1e", (d1 > d2 ? d1 : d2) }')
    fi
    local ratio1 ratio8 speedup
    ratio1=$(awk -v a="$o1" -v b="$t1" 'BEGIN { printf "%.2f", a / b }')
    ratio8=$(awk -v a="$o8" -v b="$t8" 'BEGIN { printf "%.2f", a / b }')
    speedup=$(awk -v a="$o1" -v b="$o8" 'BEGIN { printf "%.1f", a / b }')
    times_table+=("| $name | $op | $o1 | $t1 | $ratio1 | $o8 | $t8 | $ratio8 | $speedup | $clipper | $klayout | $diff |")
    memory_table+=("| $name | $op | $ours_peak | $ours_above | $tiled_peak | $clipper_peak | $klayout_peak |")
}

row "F1, N = 10^5" union f1_1e5.rings
row "F1, N = 10^6" union f1_1e6.rings
row "F2, 2 x 2·10^5" intersection f2_a.rings f2_b.rings
row "F2, 2 x 2·10^5" xor f2_a.rings f2_b.rings
row "F3, N = 10^5" union f3.rings
row "F4, N = 2000" union f4.rings

echo "| family | operation | ours 1 t | tiled 1 t | ratio | ours 8 t | tiled 8 t | ratio | our 8 t speed-up | Clipper | KLayout flat | area difference |"
echo "|---|---|---|---|---|---|---|---|---|---|---|---|"
printf '%s\n' "${times_table[@]}"
echo
echo "| family | operation | ours (process) | ours (operation alone) | tiled 1 t | Clipper | KLayout flat |"
echo "|---|---|---|---|---|---|---|"
printf '%s\n' "${memory_table[@]}"
