#!/usr/bin/env bash
# The compile benchmark of bench/README.md: `quorvane build` of a generated design (make_design.py)
# at one thread, against the compiled GDSII library's driver (gdstk_compile) and a KLayout script
# making the same cells, shapes and points, whole processes in turns, medians.
# usage: bench/compile/run.sh [ROUNDS [CELLS SHAPES PLACES]]   (default 3, 1000 1000 10; builds a
# release quorvane in build-bench/; the yardsticks are taken from $YARDSTICKS; QV_BEFORE=path
# adds that binary's runs, in turns with the others)
set -euo pipefail
rounds=${1:-3} cells=${2:-1000} shapes=${3:-1000} places=${4:-10}
ys=${YARDSTICKS:-/work/shared/yardsticks}
cd "$(dirname "$0")/../.."
q="$(bench/release_quorvane.sh)"
mkdir -p bench/out && cd bench/out
python3 ../compile/make_design.py "$cells" "$shapes" "$places" compile.qvs
jobs=("quorvane build=RAYON_NUM_THREADS=1 $q build compile.qvs -o compile.gds"
    "gdstk_compile=$ys/gdstk_compile $cells $shapes $places gdstk.gds"
    "KLayout script=klayout -b -r ../compile/klayout_design.py -rd cells=$cells -rd shapes=$shapes -rd places=$places -rd out=kl.gds")
[[ -n ${QV_BEFORE:-} ]] &&
    jobs+=("before=RAYON_NUM_THREADS=1 $QV_BEFORE build compile.qvs -o compile_before.gds")
python3 ../interleave.py "$rounds" "${jobs[@]}"
