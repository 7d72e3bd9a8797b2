#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy's checks) on the library's own sources with the compile
# commands of a build directory (default build/dev), and fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev}
layers='platform|support|jobs|codec|frame|particles|cachefile|foreign|loader'

if [ ! -f "$build/compile_commands.json" ]; then
    echo "$build/compile_commands.json is missing: configure that build first" >&2
    exit 1
fi
run-clang-tidy -quiet -j "${JOBS:-$(nproc)}" -p "$build" \
    -header-filter="^$PWD/($layers|include/korloader)/" "^$PWD/($layers)/.*\\.cpp\$"
