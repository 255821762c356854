#!/usr/bin/env bash
# Size of the test suite against the code it tests: non-blank lines of .cpp and
# .h files under tests/ against those under the code folders.
#   scripts/test-ratio.sh [CHECKOUT]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
count() { find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 2>/dev/null | xargs -0 -r cat | grep -c '[^[:space:]]' || true; }
tests=$(count tests)
code=$(count platform comm settings ui sim tools res)
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests %d lines, code %d lines, ratio %.1f%%\n", t, c, 100 * t / c }'
