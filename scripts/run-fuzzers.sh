#!/usr/bin/env bash
# Runs every fuzz target of a fuzzer build (default build/fuzz) for a few seconds (default
# 5) on its seed corpus. New inputs go to a scratch corpus in the build directory, so the
# checked-in seeds stay as they are; a crash or a leak fails the run and leaves its input
# there.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/fuzz}
seconds=${2:-5}

export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
found=0
for fuzzer in "$build"/tests/fuzz/fuzz_*; do
    [ -x "$fuzzer" ] || continue
    name=$(basename "$fuzzer")
    scratch="$build/fuzz-runs/$name"
    mkdir -p "$scratch/corpus" "$scratch/artifacts"
    echo "fuzzing $name for ${seconds}s"
    "$fuzzer" -max_total_time="$seconds" -artifact_prefix="$scratch/artifacts/" \
        "$scratch/corpus" "tests/fuzz/corpus/$name" >"$scratch/log.txt" 2>&1 ||
        { tail -n 40 "$scratch/log.txt" >&2; exit 1; }
    found=$((found + 1))
done
if [ "$found" -eq 0 ]; then
    echo "no fuzz targets in $build/tests/fuzz: build them with 'make fuzz'" >&2
    exit 1
fi
