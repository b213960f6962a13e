#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds
# (two at a time) on a copy of its committed corpus. Any finding fails.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
cmake -S . -B build-fuzz -DPL_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j"$(nproc)"
mkdir -p build-fuzz/runs
pids=()
names=()
for target in build-fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name="$(basename "$target")"
  corpus="fuzz/corpus/${name#fuzz_}"
  work="build-fuzz/runs/$name"
  rm -rf "$work"; mkdir -p "$work/corpus"
  [ -d "$corpus" ] && cp -r "$corpus/." "$work/corpus/"
  (cd "$work" && "$OLDPWD/$target" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 corpus >log.txt 2>&1) &
  pids+=($!); names+=("$name")
  if [ ${#pids[@]} -ge 2 ]; then
    wait "${pids[0]}" || { echo "fuzz target ${names[0]} found a problem:"; tail -40 "build-fuzz/runs/${names[0]}/log.txt"; exit 1; }
    echo "fuzz ${names[0]}: $(grep -m1 'stat::number_of_executed_units' "build-fuzz/runs/${names[0]}/log.txt" || true)"
    pids=("${pids[@]:1}"); names=("${names[@]:1}")
  fi
done
for i in "${!pids[@]}"; do
  wait "${pids[$i]}" || { echo "fuzz target ${names[$i]} found a problem:"; tail -40 "build-fuzz/runs/${names[$i]}/log.txt"; exit 1; }
  echo "fuzz ${names[$i]}: $(grep -m1 'stat::number_of_executed_units' "build-fuzz/runs/${names[$i]}/log.txt" || true)"
done
echo "fuzzing: no findings"
