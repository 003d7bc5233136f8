#!/usr/bin/env bash
# Checks the include arrows, installs what is missing, builds everything with AddressSanitizer
# and UBSan, runs all tests. QV_JOBS limits the parallel jobs (all cores by default).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/check_includes.py
scripts/deps.sh --test
# The tests under process limits run an executable built without sanitizers.
cmake -S . -B build-plain -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_TESTS=OFF
cmake --build build-plain -j "${QV_JOBS:-$(nproc)}" --target quorvane
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=ON \
    -DQV_PLAIN_BIN="$PWD/build-plain/quorvane"
cmake --build build-test -j "${QV_JOBS:-$(nproc)}"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-test --output-on-failure -j "${QV_JOBS:-$(nproc)}"
