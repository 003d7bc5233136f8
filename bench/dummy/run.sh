#!/usr/bin/env bash
# Times our dummy fill (one thread) and KLayout's fill_region on the same design.
#   bench/dummy/run.sh BUILD_DIR     (BUILD_DIR configured with -DQV_BENCH=ON)
set -euo pipefail
build=${1:?usage: run.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
gds=${TMPDIR:-/tmp}/quorvane-dummy-bench.gds
"$build/bench/dummy/dummy_gen" "$gds"
RAYON_NUM_THREADS=1 "$build/bench/dummy/bench_dummy" --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true
klayout -b -r "$here/klayout_fill.py" -rd path="$gds"
