#!/usr/bin/env bash
# Builds quorvane (once) and runs it on the example design.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_TESTS=OFF >/dev/null
cmake --build build --target quorvane >/dev/null
build/quorvane parse examples/chip.qvs
