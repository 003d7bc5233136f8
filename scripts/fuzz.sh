#!/usr/bin/env bash
# Builds the libFuzzer targets in build-fuzz/ and runs one of them with its dictionary and seeds:
#   scripts/fuzz.sh NAME [SECONDS] [extra libFuzzer flags...]
# NAME is parse, format, eval, ir_value, ir_text, ir_gds, json, gds_stream, gds_import or
# decompile. The working corpus
# grows in build-fuzz/corpus/NAME; the committed seeds in fuzz/corpus/NAME are only read.
# QV_JOBS limits the parallel build jobs (3 by default, the machine is shared).
set -euo pipefail
cd "$(dirname "$0")/.."

name=${1:?usage: scripts/fuzz.sh NAME [SECONDS] [libFuzzer flags...]}
seconds=${2:-600}
shift $(($# < 2 ? $# : 2))

case $name in
    parse | format | eval) dict=fuzz/qvs.dict ;;
    ir_value | ir_text | ir_gds) dict=fuzz/ir.dict ;;
    json) dict=fuzz/json.dict ;;
    gds_stream | gds_import | decompile) dict=fuzz/gds.dict ;;
    *)
        echo "error: unknown fuzz target '$name'" >&2
        exit 2
        ;;
esac

compiler=$(command -v clang++-16 || command -v clang++ || true)
if [[ -z $compiler ]]; then
    echo "error: needs clang++ 16 or later (apt-get install clang-16 libclang-rt-16-dev)" >&2
    exit 2
fi

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER="$compiler" -DQV_FUZZ=ON -DQV_TESTS=OFF >/dev/null
cmake --build build-fuzz -j "${QV_JOBS:-3}" --target "fuzz_$name"

corpus=build-fuzz/corpus/$name
artifacts=build-fuzz/artifacts/$name/
mkdir -p "$corpus" "$artifacts"
# One job keeps the run to a single core; crashing inputs land in build-fuzz/artifacts/NAME/.
exec "build-fuzz/fuzz/fuzz_$name" "$corpus" "fuzz/corpus/$name" -dict="$dict" \
    -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -max_len=16384 \
    -artifact_prefix="$artifacts" -print_final_stats=1 "$@"
