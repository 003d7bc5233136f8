#!/usr/bin/env bash
# The attribute benchmark of bench/README.md: `check` of one cell of N attributes each reading
# the next by `self`, against one of N attributes that read nothing, whole processes at one
# thread, medians, for each N given.
# usage: bench/check/attributes.sh [ROUNDS [N...]]   (default 3, 10000 100000 1000000; builds a
# release quorvane in build-bench/; QV_BEFORE=path adds that binary's runs, in turns with ours)
set -euo pipefail
rounds=${1:-3}
sizes=("${@:2}")
[[ ${#sizes[@]} -gt 0 ]] || sizes=(10000 100000 1000000)
cd "$(dirname "$0")/../.."
q="$(bench/release_quorvane.sh)"
mkdir -p bench/out && cd bench/out
for n in "${sizes[@]}"; do
    for mode in chained plain; do
        [[ -f attributes_${mode}_$n.qvs ]] ||
            python3 ../check/make_source.py "$mode" "$n" "attributes_${mode}_$n.qvs"
    done
    echo "## $n attributes"
    # A chain longer than evaluation may nest ends in its depth error, status 1: measured too.
    jobs=()
    for mode in chained plain; do
        jobs+=("$mode=RAYON_NUM_THREADS=1 $q check attributes_${mode}_$n.qvs 2>/dev/null; [[ \$? -le 1 ]]")
        [[ -n ${QV_BEFORE:-} ]] &&
            jobs+=("$mode before=RAYON_NUM_THREADS=1 $QV_BEFORE check attributes_${mode}_$n.qvs 2>/dev/null; [[ \$? -le 1 ]]")
    done
    python3 ../interleave.py "$rounds" "${jobs[@]}"
done
