#!/usr/bin/env bash
# Builds quorvane (once) and runs it on the example designs.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_TESTS=OFF >/dev/null
cmake --build build --target quorvane >/dev/null
build/quorvane fmt --check examples/*.qvs
build/quorvane check examples/chip.qvs
build/quorvane build examples/chip.qvs -o build/chip.gds
build/quorvane ir build/chip.gds | head -n 20
for design in bond_pads comb waveguides family; do
    build/quorvane build "examples/$design.qvs" -o "build/$design.gds"
done
build/quorvane build examples/pads.qvir -o build/pads.gds
build/quorvane netlist examples/waveguides.qvs
