#!/usr/bin/env bash
# The goal of bench/README.md measured as it is stated: `quorvane build big.gds -o out.gds`
# (whole process) against KLayout's in-script read plus write of the same file, run by run
# alternating, medians of N runs (default 5). Run bench/gds/run.sh first (it builds the
# release quorvane and writes bench/out/big.gds).
set -euo pipefail
cd "$(dirname "$0")/../out"
runs=${1:-5}
q=../../build-bench/quorvane
for ((i = 0; i < runs; i++)); do
    /usr/bin/time -f "%e %U %S %M %R" "$q" build big.gds -o out.gds 2>>quorvane.times >/dev/null
    klayout -b -r ../gds/klayout_copy.py -rd src=big.gds -rd dst=kl.gds |
        awk '{print $3 + $6}' >>klayout.times
done
python3 - <<'PY'
import statistics
q = [list(map(float, l.split())) for l in open("quorvane.times")]
k = [float(l) for l in open("klayout.times")]
wall, user, kernel, peak, faults = (statistics.median(c) for c in zip(*q))
klayout = statistics.median(k)
print(f"quorvane build: wall {wall:.2f} s, user {user:.2f} s, kernel {kernel:.2f} s "
      f"({kernel / (user + kernel):.0%} of CPU), peak {peak / 1024:.0f} MB, {faults:.0f} minor faults")
print(f"KLayout read + write in its script: {klayout:.2f} s; ratio {wall / klayout:.2f}")
PY
rm -f quorvane.times klayout.times
