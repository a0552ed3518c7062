#!/usr/bin/env bash
# Prints how large the tests are against the code they test: non-blank lines that are not
# "//" comments in *.cpp and *.h, tests/ against src/, sim/ and cli/ (bench/, fuzz/ and tools/ count in
# neither). Files git tracks, as they are in the work tree. The project aims at 25-35 %.
set -euo pipefail
cd "$(dirname "$0")/.."
count() {
  git ls-files -- "$@" | grep -E '\.(cpp|h)$' | while read -r f; do [ -f "$f" ] && cat "$f"; done |
    grep -cvE '^[[:space:]]*(//.*)?$' || true
}
code=$(count src sim cli)
tests=$(count tests)
echo "test share: $tests test lines / $code code lines = $(( code > 0 ? 100 * tests / code : 0 )) % (aim: 25-35 %)"
