#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds
# (two at a time) on a copy of its committed corpus. Any finding fails, and so does a target
# of fuzz/fuzz_*.cpp that was not built or ran no input.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
cmake -S . -B build-fuzz -DPL_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j"$(nproc)"
mkdir -p build-fuzz/runs
pids=()
names=()
trap 'kill "${pids[@]}" 2>/dev/null || true' EXIT  # the targets still running when one fails

# Waits for the oldest running target and reports it; any finding ends the run.
finish_oldest() {
  local name="${names[0]}" log="build-fuzz/runs/${names[0]}/log.txt"
  wait "${pids[0]}" || { echo "fuzz target $name found a problem:"; tail -40 "$log"; exit 1; }
  local runs
  runs="$(grep -m1 -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' || true)"
  [ "${runs:-0}" -gt 0 ] || { echo "fuzz target $name ran no input:"; tail -20 "$log"; exit 1; }
  echo "fuzz $name: stat::number_of_executed_units: $runs"
  pids=("${pids[@]:1}"); names=("${names[@]:1}")
}

for source in fuzz/fuzz_*.cpp; do
  name="$(basename "$source" .cpp)"
  target="build-fuzz/fuzz/$name"
  [ -x "$target" ] || { echo "fuzz target $name was not built"; exit 1; }
  corpus="fuzz/corpus/${name#fuzz_}"
  work="build-fuzz/runs/$name"
  rm -rf "$work"; mkdir -p "$work/corpus"
  [ -d "$corpus" ] && cp -r "$corpus/." "$work/corpus/"
  (cd "$work" && "$OLDPWD/$target" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 corpus >log.txt 2>&1) &
  pids+=($!); names+=("$name")
  if [ ${#pids[@]} -ge 2 ]; then finish_oldest; fi
done
while [ ${#pids[@]} -gt 0 ]; do finish_oldest; done
echo "fuzzing: no findings"
