#!/usr/bin/env bash
# Configures the project (configure only, no build) with each build-option combination a
# user may pick, so that an option that breaks another shows up without a full build.
# Build directories go under build/options/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=build/options

# configure <name> <source directory> <cmake arguments...>
configure() {
    local name=$1 source=$2
    shift 2
    if ! cmake -S "$source" -B "$root/$name" -G Ninja "$@" >"$root/$name.log" 2>&1; then
        echo "option combination '$name' fails to configure: $*" >&2
        cat "$root/$name.log" >&2
        exit 1
    fi
    echo "configured: $name"
}

rm -rf "$root"
mkdir -p "$root/host"
configure library-only . -DKORLOADER_BUILD_TESTS=OFF -DKORLOADER_BUILD_TOOLS=OFF \
    -DKORLOADER_BUILD_PYTHON=OFF -DKORLOADER_BUILD_VDBBRIDGE=OFF -DKORLOADER_BUILD_F3DBRIDGE=OFF \
    -DKORLOADER_INSTALL=OFF
configure tests-alone . -DKORLOADER_BUILD_TOOLS=OFF -DKORLOADER_BUILD_PYTHON=OFF \
    -DKORLOADER_BUILD_VDBBRIDGE=OFF -DKORLOADER_BUILD_F3DBRIDGE=OFF
configure tests-without-install . -DKORLOADER_INSTALL=OFF -DKORLOADER_WERROR=ON
configure bench-without-tests . -DKORLOADER_BUILD_BENCH=ON -DKORLOADER_BUILD_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=Release
configure fuzzers-without-tests . -DCMAKE_CXX_COMPILER=clang++ -DKORLOADER_BUILD_FUZZERS=ON \
    -DKORLOADER_BUILD_TESTS=OFF
configure fuzzers-with-tests . -DCMAKE_CXX_COMPILER=clang++ -DKORLOADER_BUILD_FUZZERS=ON

# A host project that builds the library as a subproject, where every option defaults off.
cat >"$root/host/CMakeLists.txt" <<HOST
cmake_minimum_required(VERSION 3.24)
project(host LANGUAGES CXX)
add_subdirectory("$PWD" korloader)
add_executable(host main.cpp)
target_link_libraries(host PRIVATE korloader::korloader)
HOST
echo 'int main() { return 0; }' >"$root/host/main.cpp"
configure subproject "$root/host"
