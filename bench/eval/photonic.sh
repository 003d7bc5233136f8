#!/usr/bin/env bash
# The photonic routes of bench/README.md: `quorvane build` of make_photonic.py's routes at one
# thread against the compiled GDSII library's flexible paths (photonic_gdstk) at the same
# tolerance of 1 nm, whole processes in turns, medians, for each route count given.
# usage: bench/eval/photonic.sh [ROUNDS [ROUTES...]]   (default 3, 1000 10000; builds a release
# quorvane in build-bench/; the yardsticks are taken from $YARDSTICKS; QV_BEFORE=path adds that
# binary's runs, in turns with ours)
set -euo pipefail
rounds=${1:-3}
shift || true
counts=("$@")
((${#counts[@]})) || counts=(1000 10000)
ys=${YARDSTICKS:-/work/shared/yardsticks}
cd "$(dirname "$0")/../.."
q="$(bench/release_quorvane.sh)"
mkdir -p bench/out && cd bench/out
for routes in "${counts[@]}"; do
    python3 ../eval/make_photonic.py "$routes" "ph$routes.qvs"
    echo "## $routes routes"
    jobs=("quorvane build=RAYON_NUM_THREADS=1 $q build ph$routes.qvs -o ph$routes.gds"
        "photonic_gdstk=$ys/photonic_gdstk $routes ph${routes}_gdstk.gds 1e-3")
    [[ -n ${QV_BEFORE:-} ]] &&
        jobs+=("before=RAYON_NUM_THREADS=1 $QV_BEFORE build ph$routes.qvs -o ph${routes}_before.gds")
    python3 ../interleave.py "$rounds" "${jobs[@]}"
done
