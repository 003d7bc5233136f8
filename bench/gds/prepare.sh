# Sourced by the GDSII benchmarks: builds a release quorvane in build-bench/ (as $q), enters
# bench/out/ and makes the benchmark's IR text big.qvir there once.
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
q="$(bench/release_quorvane.sh)"
mkdir -p bench/out && cd bench/out
[[ -f big.qvir ]] || python3 ../gds/make_big.py big.qvir
