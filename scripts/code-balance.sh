#!/usr/bin/env bash
# Prints the lines of product code, of test code and the tests' share of all code.
# Product: support/ graphics/ viewer/ shell/. Tests: tests/ and the fuzz harnesses
# (fuzz/ without its corpora). bench/, data/, desktop/ and scripts/ count on neither side.
set -euo pipefail
cd "$(dirname "$0")/.."
count() { find "$@" -path fuzz/corpus -prune -o -type f -print0 | xargs -0 -r cat -- | wc -l; }
product=$(count support graphics viewer shell)
tests=$(count tests fuzz)
echo "code balance: product $product lines, tests $tests lines, tests $((100 * tests / (product + tests)))% of all code"
