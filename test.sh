#!/usr/bin/env bash
# Builds everything and runs every test: unit, GUI (offscreen), end-to-end (Xvfb),
# then the whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer,
# then a short run of every fuzz target.  "--quick" stops after the first test run.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh test
jobs="$(nproc)"

# A failing test run does not stop the others; the closing line counts it and the exit
# status is 1.
status=0
echo "== build and test"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
ctest --test-dir build --output-on-failure -j"$jobs" --timeout 300 | tee "$log" || status=1

# Which kernel tables the drawing's tests ran with; those this processor lacks are skipped.
for kernel in plain avx2 avx512; do
  ran=$(grep -cE "Test +#[0-9]+: .*/$kernel  # GetParam.* Passed" "$log" || true)
  skips=$(grep -cE "Test +#[0-9]+: .*/$kernel  # GetParam.*Skipped" "$log" || true)
  echo "kernel $kernel: $ran tests ran, $skips skipped"
done

if [ "${1:-}" != "--quick" ]; then
  echo "== aarch64 build"
  scripts/check-aarch64-build.sh build-aarch64 || status=1

  echo "== sanitizers"
  cmake -S . -B build-san -DCMAKE_BUILD_TYPE=Debug -DPL_SANITIZE=ON >/dev/null
  cmake --build build-san -j"$jobs"
  export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:halt_on_error=1"
  export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  ctest --test-dir build-san --output-on-failure -j"$jobs" --timeout 600 | tee -a "$log" || status=1

  echo "== fuzzing"
  scripts/run-fuzzers.sh "${FUZZ_SECONDS:-30}" | tee -a "$log" || { status=1; echo "fuzz failed" | tee -a "$log"; }
fi

# One closing line for the whole run: every ctest test of the builds plus every fuzz target.
# ctest counts a skipped test among the passed ones; here it is counted apart.
sum() {
  awk -v re="$1" '{ while (match($0, re)) { n = substr($0, RSTART, RLENGTH); gsub(/[^0-9]/, "", n); s += n
                    $0 = substr($0, RSTART + RLENGTH) } } END { print s + 0 }' "$log"
}
total=$(sum 'tests failed out of [0-9]+')
failed=$(sum '[0-9]+ tests failed')
skipped=$(grep -cE '^[[:space:]]*[0-9]+ - .* \(Skipped\)$' "$log" || true)
fuzzers=$(grep -c '^fuzz fuzz_' "$log" || true)
fuzz_failed=$(grep -c '^fuzz failed$' "$log" || true)
scripts/code-balance.sh
echo "all: $((total - failed - skipped + fuzzers)) passed, $((failed + fuzz_failed)) failed, $skipped skipped"
exit "$status"
