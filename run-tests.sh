#!/bin/bash
# Runs every test: builds the deliverables (the static check inspects dist/), builds the test
# flavour (x86-64 twins, test doubles, tests), prepares the Wine prefix and runs CTest.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
bash build.sh
cmake --preset test >/dev/null
cmake --build --preset test
# The prefixes and their persistent wineservers are made before CTest, outside it (the
# monitor's tests have a prefix of their own: they install services).
for prefix in main monitor; do
  KOVA_WINE_PREFIX="$PWD/build/test/wine/$prefix" build/test/wine-run.sh cmd /c exit >/dev/null 2>&1 </dev/null || true
done
status=0
ctest --preset test "$@" || status=$?
# Leave no wineserver behind.
for p in build/test/wine/*/; do
  [ -d "$p" ] && WINEPREFIX="$PWD/$p" /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
done
exit "$status"
