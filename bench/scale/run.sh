#!/usr/bin/env bash
# Times the inputs that once took minutes and gigabytes: a fine ring shrunk and a fine circle
# grown by 15 um, a self-crossing star {8001/4000} used in a derived shape, and dummy fill of one
# 8000 x 8000 array of a 10 nm box. Prints wall time, CPU time and peak resident memory.
#   bench/scale/run.sh QUORVANE [THREADS]
set -euo pipefail
bin=${1:?usage: run.sh QUORVANE [THREADS]}
threads=${2:-8}
here=$(cd "$(dirname "$0")" && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

measure() {
    local name=$1
    shift
    uptime
    RAYON_NUM_THREADS=$threads /usr/bin/time -f "$name: %e s wall, %U s user, %S s system, %M KB peak" \
        "$@" > "$out/out" 2> "$out/err" || true
    tail -n 1 "$out/err"
}

measure "ring shrunk" "$bin" ir "$here/ring_shrink.qvs"
measure "circle grown" "$bin" ir "$here/circle_grow.qvs"
measure "star" "$bin" ir "$here/star.qvs"
measure "array fill" "$bin" ir "$here/array_fill.qvir" --dummy metal:size=1um,space=1um,keepout=500nm
