#!/usr/bin/env bash
# The view's figures once per kernel table (plain, avx2, avx512), each run of pl_bench with its
# repetitions interleaved at random: every mode's worst case and the typical view beside the memset
# floor, and every mode's worst case drawn into a 1920 x 1080 and a 3840 x 2160 view. A table this
# processor lacks is not run (PL_PIXEL_KERNEL would fall back to the fastest).
# Usage: scripts/kernel-tables.sh BENCH_BUILD [REPETITIONS]
set -euo pipefail
build="${1:?usage: scripts/kernel-tables.sh BENCH_BUILD [REPETITIONS]}"
repetitions="${2:-5}"
runs() {
  case "$1" in
    plain) return 0 ;;
    avx2) grep -qw avx2 /proc/cpuinfo && grep -qw bmi2 /proc/cpuinfo && grep -qw fma /proc/cpuinfo ;;
    avx512) grep -qw avx512vbmi /proc/cpuinfo && grep -qw avx512_bitalg /proc/cpuinfo && grep -qw gfni /proc/cpuinfo ;;
  esac
}
for kernel in plain avx2 avx512; do
  if ! runs "$kernel"; then
    echo "== $kernel: not run, this processor lacks its instructions"
    continue
  fi
  echo "== PL_PIXEL_KERNEL=$kernel"
  PL_PIXEL_KERNEL="$kernel" "$build/bench/pl_bench" --benchmark_filter='drawView|fillSheet' \
    --benchmark_repetitions="$repetitions" --benchmark_min_time=0.05 \
    --benchmark_enable_random_interleaving=true 2>/dev/null | grep -E '^View'
done
