#!/usr/bin/env bash
# Installs the Debian 12 packages the build needs, only when something is missing.
# `install-deps.sh windows` adds the Windows cross build: MinGW-w64 (the -posix compilers,
# which have std::thread), its static zlib, Wine to run the tests, GoogleTest's sources to
# build for the target, and lld for the test host linked the way MSVC links.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev clang-format clang-tidy zlib1g-dev
          libgtest-dev libgmock-dev libbenchmark-dev libdeflate-dev pkg-config libopenvdb-dev
          libboost-dev libhdf5-dev libcli11-dev nlohmann-json3-dev libpng-dev pybind11-dev
          python3-dev python3-numpy python3-pytest)
windows_packages=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix libz-mingw-w64-dev
                  wine wine64 googletest lld)

missing() {
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
    done
}

mapfile -t needed < <(missing "${packages[@]}")
if [ "${1:-}" = windows ]; then
    mapfile -t needed_windows < <(missing "${windows_packages[@]}")
else
    needed_windows=()
fi
[ ${#needed[@]} -eq 0 ] && [ ${#needed_windows[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
        echo "Missing packages. Run as root:" >&2
        echo "  apt-get update && apt-get install -y ${needed[*]} ${needed_windows[*]}" >&2
        exit 1
    fi
    sudo=(sudo)
fi
"${sudo[@]}" apt-get update -qq
if [ ${#needed[@]} -gt 0 ]; then
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${needed[@]}"
fi
if [ ${#needed_windows[@]} -gt 0 ]; then
    # Wine's recommendations (32-bit support, fonts, desktop integration) are not needed.
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
        --no-install-recommends "${needed_windows[@]}"
fi
