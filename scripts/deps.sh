#!/usr/bin/env bash
# Installs the Debian packages quorvane needs, skipping those already present.
#   scripts/deps.sh           to build quorvane
#   scripts/deps.sh --test    also the tests' peers: GoogleTest, Clipper and KLayout
#   scripts/deps.sh --bench   also Google Benchmark and the peers the benchmarks compare with
set -euo pipefail

packages=(g++ cmake ninja-build libtbb-dev)
case "${1:-}" in
--test) packages+=(libgtest-dev libpolyclipping-dev klayout) ;;
--bench) packages+=(libbenchmark-dev libpolyclipping-dev klayout) ;;
esac

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    SUDO=""
    [[ $(id -u) -ne 0 ]] && SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
