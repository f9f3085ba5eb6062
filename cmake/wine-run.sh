#!/bin/bash
# Runs a Windows test program under Wine 8 in one of the build's own prefixes, with a persistent
# wineserver so that each test program starts in a fraction of a second.
#   KOVA_WINE_PREFIX  the prefix directory (default: the build's main prefix, filled in by CMake)
set -u
: "${KOVA_WINE_PREFIX:=@KOVA_WINE_MAIN_PREFIX@}"
export WINEPREFIX="$KOVA_WINE_PREFIX"
export WINEDEBUG="${WINEDEBUG:--all,err+module}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# The target systems run with the Chinese ANSI code page (936); Wine follows the locale.
export LC_ALL="${KOVA_WINE_LOCALE:-zh_CN.UTF-8}"
if [ ! -f "$WINEPREFIX/.kova-ready" ]; then
  mkdir -p "$WINEPREFIX"
  ( flock 9; [ -f "$WINEPREFIX/.kova-ready" ] || "@KOVA_SOURCE_DIR@/cmake/wine-prefix.sh" "$WINEPREFIX" ) \
    9>"$WINEPREFIX.lock" >/dev/null 2>&1 </dev/null
fi
exec /usr/lib/wine/wine64 "$@"
