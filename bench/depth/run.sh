#!/usr/bin/env bash
# Time and peak memory of every command on deep inputs: long definition chains, deep hierarchies
# in source, IR text and GDSII, and long operator chains (bench/README.md).
# usage: bench/depth/run.sh   (builds a release quorvane in build-bench/, works in bench/out/depth/)
set -euo pipefail
cd "$(dirname "$0")/../.."
q="$(bench/release_quorvane.sh)"
make="$PWD/bench/depth/make_deep.py"
mkdir -p bench/out/depth && cd bench/out/depth

measure() { # label, command...: status, wall seconds, peak resident memory, first line of stderr
    local label=$1; shift
    local status=0
    /usr/bin/time -f "%e %M" -o time.txt "$@" >/dev/null 2>err.txt || status=$?
    read -r wall peak_kb < <(tail -1 time.txt)
    printf '%s | %s | %s s | %d MB | %s\n' "$label" "$status" "$wall" $((peak_kb / 1024)) \
        "$(grep -m1 -v '^Command exited' err.txt || true)"
}

for n in 100000 1000000; do
    python3 "$make" constants "$n" "constants_$n.qvs"
    python3 "$make" cells "$n" "cells_$n.qvs"
    python3 "$make" sum "$n" "sum_$n.qvs"
    python3 "$make" ir "$n" "ir_$n.qvir"
    measure "ir: $n constants" "$q" ir "constants_$n.qvs"
    measure "check: $n cells deep" "$q" check "cells_$n.qvs"
    measure "ir: sum of $n terms" "$q" ir "sum_$n.qvs"
    measure "fmt --check: sum of $n terms" "$q" fmt --check "sum_$n.qvs"
    measure "build: IR $n cells deep to GDSII" "$q" build "ir_$n.qvir" -o "ir_$n.gds"
    for input in "ir_$n.qvir" "ir_$n.gds"; do
        measure "ir --dummy m: $input" "$q" ir "$input" --dummy m
        measure "blackbox: $input" "$q" blackbox "$input" -o bb.qvir
        measure "unbox: $input" "$q" unbox "$input" --whitebox "ir_$n.qvir"
    done
    measure "decompile: ir_$n.gds" "$q" decompile "ir_$n.gds" -o "decompiled_$n.qvs"
    measure "check: decompiled_$n.qvs" "$q" check "decompiled_$n.qvs"
done
measure "netlist: 100000 cells deep" "$q" netlist cells_100000.qvs -o net.json
measure "lvs: 100000 cells deep" "$q" lvs cells_100000.qvs --netlist net.json
