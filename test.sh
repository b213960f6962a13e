#!/usr/bin/env bash
# Builds everything and runs every test: unit, GUI (offscreen), end-to-end (Xvfb),
# then the whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer,
# then a short run of every fuzz target.  "--quick" stops after the first test run.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh test
jobs="$(nproc)"

echo "== build and test"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs" --timeout 300
[ "${1:-}" = "--quick" ] && exit 0

echo "== sanitizers"
cmake -S . -B build-san -DCMAKE_BUILD_TYPE=Debug -DPL_SANITIZE=ON >/dev/null
cmake --build build-san -j"$jobs"
export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir build-san --output-on-failure -j"$jobs" --timeout 600

echo "== fuzzing"
scripts/run-fuzzers.sh "${FUZZ_SECONDS:-60}"

echo "== all tests passed"
