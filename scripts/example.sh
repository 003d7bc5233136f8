#!/usr/bin/env bash
# Builds quorvane (once) and runs it on the example designs.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_TESTS=OFF >/dev/null
cmake --build build --target quorvane >/dev/null
build/quorvane fmt --check examples/chip.qvs examples/family.qvs
build/quorvane check examples/family.qvs
build/quorvane build examples/family.qvs -o build/family.gds
build/quorvane ir build/family.gds
build/quorvane build examples/pads.qvir -o build/pads.gds
build/quorvane ir build/pads.gds
