#!/bin/bash
# Runs every test: builds the deliverables (the static check inspects dist/), builds the test
# flavour (x86-64 twins, test doubles, tests), prepares the Wine prefix and runs CTest.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
bash build.sh
cmake --preset test >/dev/null
cmake --build --preset test
# Every Wine prefix the tests use is made, and its persistent wineserver started, before CTest
# and outside it (a server started from inside a test would hold CTest's output open).
while read -r prefix; do
  [ -n "$prefix" ] && cmake/wine-prefix.sh "$PWD/build/test/wine/$prefix"
done <build/test/wine-prefixes.txt
status=0
ctest --preset test "$@" || status=$?
# Leave no wineserver behind.
for p in build/test/wine/*/; do
  [ -d "$p" ] && WINEPREFIX="$PWD/$p" /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
done
exit "$status"
