#!/usr/bin/env bash
# The evaluation benchmark of bench/README.md: `quorvane build design.qvs -o design.gds` at one
# thread against a KLayout script building the same geometry, for each shape count given.
# usage: bench/eval/run.sh [SHAPES...]   (default 100000; builds a release quorvane in build-bench/)
set -euo pipefail
cd "$(dirname "$0")/../.."
q="$(bench/release_quorvane.sh)"
mkdir -p bench/out && cd bench/out

measure() { # label, command...: wall seconds and peak resident memory
    local label=$1; shift
    /usr/bin/time -f "$label|%e s|%M KB" "$@" >/dev/null 2>time.txt || { tail -3 time.txt; exit 1; }
    tail -1 time.txt
}
for n in "${@:-100000}"; do
    python3 ../eval/make_design.py "$n" "design$n.qvs"
    measure "quorvane build ($n shapes)" env RAYON_NUM_THREADS=1 "$q" build "design$n.qvs" \
        -o "design$n.gds"
    measure "klayout script ($n shapes)" klayout -b -r ../eval/klayout_design.py -rd shapes="$n" \
        -rd out="kl$n.gds"
done
