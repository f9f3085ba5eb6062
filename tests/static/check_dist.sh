#!/bin/bash
# Static check of the built deliverables in dist/: PE machine and subsystem, the exact export
# table (undecorated names, nothing more, nothing less), and imports from system DLLs only.
# The 32-bit deliverables cannot run on this machine, so this is how they are verified.
# Usage: check_dist.sh DIST_DIR SOURCE_DIR
set -u
DIST="$1"
SRC="$2"
OBJDUMP=x86_64-w64-mingw32-objdump
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# DLLs a plain Windows installation provides. Anything else (libstdc++-6.dll, libgcc_s_*.dll,
# libwinpthread-1.dll, ...) would make a deliverable fail to load on the target machines.
SYSTEM_DLLS="kernel32.dll advapi32.dll msvcrt.dll user32.dll ws2_32.dll shell32.dll ole32.dll \
  dbghelp.dll imagehlp.dll psapi.dll iphlpapi.dll shlwapi.dll bcrypt.dll crypt32.dll ntdll.dll \
  api-ms-win-crt-runtime-l1-1-0.dll version.dll"

exports_of() { # prints one export name per line
  "$OBJDUMP" -p "$1" | awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next}
    on && /^[[:space:]]*$/ {on=0} on { sub(/^[[:space:]]*\[[[:space:]]*[0-9]+\][[:space:]]*/, ""); print }'
}

# check FILE MACHINE SUBSYSTEM EXPECTED_EXPORTS_FILE
check() {
  local file="$DIST/$1" machine="$2" subsystem="$3" expected="$4"
  if [ ! -f "$file" ]; then
    fail "$1: missing from $DIST"
    return
  fi
  local dump
  dump="$("$OBJDUMP" -p "$file")"
  grep -q "file format $machine\$" <<<"$dump" || fail "$1: not $machine ($(grep -o 'file format .*' <<<"$dump"))"
  grep -qE "^Subsystem[[:space:]]+[0-9a-f]+[[:space:]]+\($subsystem\)" <<<"$dump" ||
    fail "$1: subsystem is not $subsystem ($(grep -E '^Subsystem' <<<"$dump"))"
  local got
  got="$(exports_of "$file" | sort)"
  if [ "$got" != "$(sort "$expected")" ]; then
    fail "$1: exports differ from the expected list"
    diff <(sort "$expected") <(echo "$got") | sed 's/^/    /'
  fi
  local dll
  for dll in $(grep -E '^[[:space:]]*DLL Name:' <<<"$dump" | awk '{print tolower($3)}'); do
    case " $SYSTEM_DLLS " in
      *" $dll "*) ;;
      *) fail "$1: imports non-system DLL $dll" ;;
    esac
  done
  echo "checked $1: $machine, $subsystem, $(echo "$got" | grep -c .) exports"
}

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# The shim: its 83 names come from the one export table in the source.
sed -n 's/^[[:space:]]*SKF_EXPORT([[:space:]]*\([A-Za-z0-9_]*\).*/\1/p' "$SRC/skfshim/skf_export_table.h" >"$tmp/shim"
[ "$(grep -c . "$tmp/shim")" = 83 ] || fail "skf_export_table.h lists $(grep -c . "$tmp/shim") names, not 83"
check tvr6142_q8207_gm.dll pei-x86-64 "Windows GUI" "$tmp/shim"

# The plug-in: exactly the host's entry points, undecorated, as listed beside this script.
grep -v '^#' "$SRC/tests/static/kova_websocket.exports" >"$tmp/plugin"
check kova_websocket.dll pei-i386 "Windows GUI" "$tmp/plugin"

# The monitor: a windowed program without exports.
: >"$tmp/monitor"
check KOVAWsSvrMonitor.exe pei-i386 "Windows GUI" "$tmp/monitor"

if [ "$failures" -ne 0 ]; then
  echo "static check: $failures failure(s)"
  exit 1
fi
echo "static check: all deliverables correct"
