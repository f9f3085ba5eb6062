#!/bin/bash
# Creates a Wine prefix for the tests (once) and starts its persistent wineserver:
# wineboot, one full shutdown so that a single services.exe remains, then one persistent
# wineserver detached from the caller's output (CTest would otherwise wait for it).
set -u
PREFIX="$1"
export WINEPREFIX="$PREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL="${KOVA_WINE_LOCALE:-zh_CN.UTF-8}"
mkdir -p "$PREFIX"
if [ ! -f "$PREFIX/system.reg" ]; then
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 </dev/null
  /usr/lib/wine/wineserver -w
fi
setsid /usr/lib/wine/wineserver -p >/dev/null 2>&1 </dev/null &
/usr/lib/wine/wine64 wineboot >/dev/null 2>&1 </dev/null
touch "$PREFIX/.kova-ready"
