#!/usr/bin/env bash
# Installs what the benchmarks need beyond the build and the tests (Debian
# 12 packages, skipping those already there): urlwatch, the page watcher
# bench/versus-urlwatch.sh compares the program with. The tests never need
# it. Run as root (or through sudo).
# perf (package linux-perf) is needed only for versus-urlwatch.sh --perf.
set -euo pipefail

bash "$(dirname "$0")/../scripts/install-deps.sh"

packages=(urlwatch)
missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo=()
    ((EUID == 0)) || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
