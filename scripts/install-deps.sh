#!/usr/bin/env bash
# Installs the Debian 12 packages the build needs, only when something is missing.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev clang-format clang-tidy zlib1g-dev
          libgtest-dev libgmock-dev libbenchmark-dev libdeflate-dev pkg-config libopenvdb-dev
          libboost-dev libhdf5-dev libcli11-dev nlohmann-json3-dev libpng-dev pybind11-dev
          python3-dev python3-numpy python3-pytest)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
elif command -v sudo >/dev/null 2>&1; then
    sudo apt-get update -qq
    sudo DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
else
    echo "Missing packages. Run as root:" >&2
    echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
    exit 1
fi
