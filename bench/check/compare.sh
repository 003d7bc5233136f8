#!/usr/bin/env bash
# Compares two quorvane binaries byte for byte: `check` of the generated check sources, `build`
# (GDSII) and `ir` of the examples and the benchmark designs, each with its standard output,
# standard error and exit status. A front-end change must not move a single byte of any of them.
# usage: bench/check/compare.sh BEFORE AFTER [SIZE_MB [N]]   (default 100, 100000; works in
# bench/out/compare/)
set -euo pipefail
before=$(realpath "$1") after=$(realpath "$2") size=${3:-100} n=${4:-100000}
cd "$(dirname "$0")/../.."
root=$PWD
mkdir -p bench/out/compare && cd bench/out/compare
small=$((size / 5))
[[ -f valid_$size.qvs ]] || python3 "$root/bench/check/make_source.py" valid "$size" "valid_$size.qvs"
[[ -f forgotten_$small.qvs ]] || python3 "$root/bench/check/make_source.py" forgotten "$small" "forgotten_$small.qvs"
[[ -f distinct_$n.qvs ]] || python3 "$root/bench/check/make_source.py" distinct "$n" "distinct_$n.qvs"
[[ -f design.qvs ]] || python3 "$root/bench/compile/make_design.py" 50 300 3 design.qvs
[[ -f photonic.qvs ]] || python3 "$root/bench/eval/make_photonic.py" 100 photonic.qvs

# Runs one command with both binaries. Messages name the output file, so both sides write the
# same one, which is then renamed after the side.
compared=0
run() {
    local name=$1 && shift
    for side in before after; do
        local q=$before && [[ $side == after ]] && q=$after
        rm -f "$name.gds"
        set +e
        RAYON_NUM_THREADS=1 "$q" "${@//@OUT@/$name}" >"$name.$side.out" 2>"$name.$side.err"
        echo $? >"$name.$side.status"
        set -e
        [[ -f $name.gds ]] && mv "$name.gds" "$name.$side.gds"
    done
    for part in out err status; do
        cmp "$name.before.$part" "$name.after.$part"
    done
    if [[ -f $name.before.gds || -f $name.after.gds ]]; then
        cmp "$name.before.gds" "$name.after.gds"
    fi
    compared=$((compared + 1))
}

for source in valid_$size.qvs forgotten_$small.qvs distinct_$n.qvs; do
    run "check_${source%.qvs}" check "$source"
done
for source in "$root"/examples/*.qvs "$root"/examples/guide/*.qvs design.qvs photonic.qvs; do
    base=$(basename "$(dirname "$source")")_$(basename "$source" .qvs)
    run "build_$base" build "$source" -o @OUT@.gds
    run "ir_$base" ir "$source"
    run "check_$base" check "$source"
done
echo "identical: $compared commands"
