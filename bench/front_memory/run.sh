#!/usr/bin/env bash
# Peak memory of `parse` and `fmt` on a generated source, against its size (bench/README.md).
# usage: bench/front_memory/run.sh [SIZE_MB]   (default 200; builds a release quorvane in
# build-bench/, works in bench/out/)
set -euo pipefail
size=${1:-200}
cd "$(dirname "$0")/../.."
q="$(bench/release_quorvane.sh)"
mkdir -p bench/out && cd bench/out
source="front_${size}mb.qvs"
[[ -f $source ]] || python3 ../front_memory/make_source.py "$size" "$source"
bytes=$(stat -c %s "$source")
echo "$source: $bytes bytes"

measure() { # label, command...: wall and CPU seconds, peak resident memory and its ratio to the source
    local label=$1; shift
    /usr/bin/time -f "%e %U %S %M" -o time.txt "$@" >/dev/null || true
    read -r wall user sys peak_kb < <(tail -1 time.txt)
    awk -v l="$label" -v w="$wall" -v u="$user" -v s="$sys" -v k="$peak_kb" -v b="$bytes" \
        'BEGIN { printf "%s | %s s (user %s, kernel %s) | %d MB | %.1f x\n", l, w, u, s, k / 1024, k * 1024 / b }'
}
measure "quorvane parse (listing to /dev/null)" "$q" parse "$source"
measure "quorvane fmt --check" "$q" fmt --check "$source"
cp "$source" fmt_copy.qvs
measure "quorvane fmt (rewrites the file)" "$q" fmt fmt_copy.qvs
rm -f fmt_copy.qvs
