#!/usr/bin/env bash
# Builds curve_dump at a base commit and at the work tree, and compares their outputs byte for
# byte: curve sampling changes must not move a single bit of the polygons.
# usage: bench/curves/compare.sh [BASE]   (default: where this branch left main; works in
# build-curves/)
set -euo pipefail
cd "$(dirname "$0")/../.."
base=${1:-$(git merge-base HEAD main)}
rm -rf build-curves/base-src && mkdir -p build-curves/base-src
git archive "$base" | tar -x -C build-curves/base-src
mkdir -p build-curves/base-src/bench/curves
cp bench/curves/CMakeLists.txt bench/curves/curve_dump.cpp build-curves/base-src/bench/curves/
for side in base work; do
    src=$PWD
    [[ $side == base ]] && src=$PWD/build-curves/base-src
    cmake -S "$src" -B "build-curves/$side" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_TESTS=OFF \
        -DQV_BENCH=ON >/dev/null
    cmake --build "build-curves/$side" --target curve_dump -j3 >/dev/null
    "build-curves/$side/bench/curves/curve_dump" >"build-curves/$side.txt"
done
cmp build-curves/base.txt build-curves/work.txt
echo "identical: $(grep -c '^polygon' build-curves/work.txt) polygons, $(grep -c '^refused' build-curves/work.txt) refusals"
