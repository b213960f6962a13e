#!/usr/bin/env bash
# Compiles the engine and the layers under it (support/, graphics/, viewer/engine/) for aarch64 with
# the cross compiler, so that the portable code is proven to build without any x86 instruction or
# header: the vector kernels' files must compile to their "no such kernels" halves. Compiling only:
# the libraries' objects are not linked or run here.
# Usage: scripts/check-aarch64-build.sh [OUTPUT_FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
compiler=aarch64-linux-gnu-g++
if ! command -v "$compiler" >/dev/null; then
  echo "aarch64 build check skipped: no $compiler (install g++-aarch64-linux-gnu)"
  exit 0
fi
out="${1:-build-aarch64}"
mkdir -p "$out"
sources=(support/*.cpp graphics/*.cpp viewer/engine/*.cpp)
# The host's headers of libpng and zlib come after the cross compiler's own (-idirafter), so that
# the C library's headers are aarch64's.
printf '%s\n' "${sources[@]}" | xargs -P "$(nproc)" -I{} sh -c \
  'o="$0/$(echo "$1" | tr / _).o"; '"$compiler"' -std=c++20 -O2 -Wall -Wextra -Werror -I. -idirafter /usr/include -c "$1" -o "$o"' \
  "$out" {}
echo "aarch64 build check: ${#sources[@]} files of support/, graphics/ and viewer/engine/ compiled for aarch64"
