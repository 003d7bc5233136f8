#!/usr/bin/env bash
# The `check` benchmarks of bench/README.md, whole processes at one thread, medians: a valid
# source of SIZE MB (every cell but a shared leaf is a top), a source of a fifth of that size
# whose technology import is missing (every layer, cross-section and constant of it unknown),
# and N constants with N cells each naming an unknown name close to one of them.
# usage: bench/check/run.sh [ROUNDS [SIZE_MB [N]]]   (default 3, 100, 100000; builds a release
# quorvane in build-bench/; QV_BEFORE=path adds that binary's runs, in turns with ours)
set -euo pipefail
rounds=${1:-3} size=${2:-100} n=${3:-100000}
cd "$(dirname "$0")/../.."
q="$(bench/release_quorvane.sh)"
mkdir -p bench/out && cd bench/out
small=$((size / 5))
[[ -f check_valid_$size.qvs ]] || python3 ../check/make_source.py valid "$size" "check_valid_$size.qvs"
[[ -f check_forgotten_$small.qvs ]] || python3 ../check/make_source.py forgotten "$small" "check_forgotten_$small.qvs"
[[ -f check_distinct_$n.qvs ]] || python3 ../check/make_source.py distinct "$n" "check_distinct_$n.qvs"
ls -l check_valid_$size.qvs check_forgotten_$small.qvs check_distinct_$n.qvs
for source in check_valid_$size.qvs check_forgotten_$small.qvs check_distinct_$n.qvs; do
    echo "## $source"
    # `check` ends with status 1 on a source with errors; that is the measured case here.
    jobs=("quorvane check=RAYON_NUM_THREADS=1 $q check $source 2>/dev/null; [[ \$? -le 1 ]]")
    [[ -n ${QV_BEFORE:-} ]] && jobs+=("before=RAYON_NUM_THREADS=1 $QV_BEFORE check $source 2>/dev/null; [[ \$? -le 1 ]]")
    python3 ../interleave.py "$rounds" "${jobs[@]}"
done
