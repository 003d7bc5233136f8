#!/usr/bin/env bash
# Builds a release quorvane in build-bench/ (once) and prints its path; the benchmark scripts
# call it from the repository's root.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_TESTS=OFF >/dev/null
cmake --build build-bench --target quorvane -j3 >/dev/null
echo "$PWD/build-bench/quorvane"
