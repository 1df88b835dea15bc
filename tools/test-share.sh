#!/usr/bin/env bash
# Prints the test share: lines of test code (tests/, .cpp and .h) over lines of product code (every C
# and C++ file outside tests/, bench/, fuzz/, tools/ and examples/), counting the files git tracks.
# The project keeps it at most 0.40. Usage: tools/test-share.sh [checkout]
set -euo pipefail
cd "${1:-$(cd "$(dirname "$0")/.." && pwd)}"
t=$(git ls-files tests | grep -E '\.(cpp|h)$' | xargs -r cat | wc -l)
p=$(git ls-files | grep -E '\.(c|cc|cpp|h|hpp)$' | grep -vE '^(tests|bench|fuzz|tools|examples)/' | xargs -r cat | wc -l)
awk -v t="$t" -v p="$p" 'BEGIN {
  share = p ? t / p : 0
  printf "test share: %d test lines / %d product lines = %.3f (%s)\n", t, p, share,
         share <= 0.40 ? "ok, at most 0.40" : "over 0.40"
}'
