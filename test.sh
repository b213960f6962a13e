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
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
ctest --test-dir build --output-on-failure -j"$jobs" --timeout 300 | tee "$log"
[ "${1:-}" = "--quick" ] && exit 0

echo "== sanitizers"
cmake -S . -B build-san -DCMAKE_BUILD_TYPE=Debug -DPL_SANITIZE=ON >/dev/null
cmake --build build-san -j"$jobs"
export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir build-san --output-on-failure -j"$jobs" --timeout 600 | tee -a "$log"

echo "== fuzzing"
scripts/run-fuzzers.sh "${FUZZ_SECONDS:-60}" | tee -a "$log"

# One closing line for the whole run: every ctest test of both builds plus every fuzz target.
tests=$(grep -oE 'tests passed, 0 tests failed out of [0-9]+' "$log" | awk '{s += $NF} END {print s + 0}')
fuzzers=$(grep -c '^fuzz fuzz_' "$log" || true)
echo "all: $((tests + fuzzers)) passed, 0 failed"
