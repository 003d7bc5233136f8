#!/usr/bin/env bash
# The GDSII benchmark of bench/README.md: quorvane and KLayout on the same ~90 MB library.
# usage: bench/gds/run.sh   (builds a release quorvane in build-bench/, works in bench/out/)
set -euo pipefail
source "$(dirname "$0")/prepare.sh"

measure() { # label, command...: wall, user and kernel seconds and peak resident memory
    local label=$1; shift
    /usr/bin/time -f "$label|%e s (user %U s, kernel %S s)|%M KB" "$@" >/dev/null 2>time.txt || { cat time.txt; exit 1; }
    tail -1 time.txt
}
measure "quorvane build big.qvir -o big.gds" "$q" build big.qvir -o big.gds
ls -l big.gds | awk '{print "big.gds: " $5 " bytes"}'
measure "quorvane build big.gds -o out.gds" "$q" build big.gds -o out.gds
measure "quorvane ir big.gds" "$q" ir big.gds
measure "quorvane decompile big.gds -o big.qvs" "$q" decompile big.gds -o big.qvs
cp big.qvs fmt.qvs
measure "quorvane fmt --check (the decompiled text)" "$q" fmt --check fmt.qvs
if "$q" build big.qvs -o back.gds >/dev/null 2>&1; then
    measure "quorvane build big.qvs -o back.gds" "$q" build big.qvs -o back.gds
else
    echo "quorvane build big.qvs: sources do not build yet"
fi
measure "klayout read + write (whole process)" klayout -b -r ../gds/klayout_copy.py -rd src=big.gds -rd dst=kl.gds
klayout -b -r ../gds/klayout_copy.py -rd src=big.gds -rd dst=kl.gds
