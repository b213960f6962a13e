#!/usr/bin/env bash
# Builds the viewer and runs it, on the sample data file unless a file is named.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target pixloupe2d pixloupe2d-cli
file="${1:-data/sample.bin}"
exec ./build/viewer/pixloupe2d "$file"
