#!/usr/bin/env bash
# The decompile benchmark of bench/README.md: `decompile` of the GDSII benchmark's library against
# `ir` of the same file (read, then write IR text to a file), interleaved run by run, then one
# `build` of the decompiled source (over a minute). Prints the median of each figure.
# usage: bench/gds/decompile.sh [RUNS]   (default 3; builds a release quorvane in build-bench/)
set -euo pipefail
runs=${1:-3}
source "$(dirname "$0")/prepare.sh"
[[ -f big.gds ]] || "$q" build big.qvir -o big.gds >/dev/null

# label, command...: appends "wall user kernel peak_kb" of one run to LABEL.times
measure() {
    local label=$1; shift
    /usr/bin/time -f "%e %U %S %M" -o time.txt "$@" >/dev/null
    cat time.txt >>"$label.times"
}
median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
report() { # label
    local f="$1.times"
    printf '%-40s wall %s s, user %s s, kernel %s s, peak %s KB\n' "$1" \
        "$(cut -d' ' -f1 "$f" | median)" "$(cut -d' ' -f2 "$f" | median)" \
        "$(cut -d' ' -f3 "$f" | median)" "$(cut -d' ' -f4 "$f" | median)"
}

rm -f ./*.times
for _ in $(seq "$runs"); do
    measure ir sh -c "'$q' ir big.gds > big-ir.qvir"
    measure decompile "$q" decompile big.gds -o big.qvs
done
measure build "$q" build big.qvs -o back.gds
report ir
report decompile
report build
