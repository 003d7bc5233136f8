# Sourced by the GDSII benchmarks: builds a release quorvane in build-bench/ (as $q), enters
# bench/out/ and makes the benchmark's IR text big.qvir there once.
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_TESTS=OFF >/dev/null
cmake --build build-bench --target quorvane >/dev/null
q="$PWD/build-bench/quorvane"
mkdir -p bench/out && cd bench/out
[[ -f big.qvir ]] || python3 ../gds/make_big.py big.qvir
