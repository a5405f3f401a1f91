#!/bin/sh
# Non-blank lines of C, C++, Python, shell and CMake: the tests (everything under
# tests/ and the scripts the test command runs) against everything else.
cd "$(dirname "$0")/.."
count() { xargs -r cat | grep -cv '^[[:space:]]*$'; }
files=$(git ls-files | grep -E '\.(c|cpp|h|py|sh|cmake)$|CMakeLists\.txt$|^\.ci/run$')
tests=$(echo "$files" | grep -E '^tests/|^tools/(test|fuzz)\.sh$|^\.ci/run$' | count)
code=$(echo "$files" | grep -vE '^tests/|^tools/(test|fuzz)\.sh$|^\.ci/run$' | count)
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests %d, code %d, ratio %.3f\n", t, c, t / c }'
