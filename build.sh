#!/bin/bash
# Builds the deliverables into dist/ (installing the prerequisites first where missing) and
# prints, for each one, its file, PE machine and number of exports.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
bash cmake/install-prereqs.sh
for preset in dist-i686 dist-x64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
rm -rf dist
mkdir -p dist
for f in build/dist-i686/bin/kova_websocket.dll build/dist-i686/bin/KOVAWsSvrMonitor.exe \
  build/dist-x64/bin/tvr6142_q8207_gm.dll; do
  [ -f "$f" ] && cp "$f" dist/
done
echo "deliverables in dist/:"
for f in dist/*; do
  [ -f "$f" ] || continue
  machine="$(x86_64-w64-mingw32-objdump -f "$f" | sed -n 's/.*file format //p')"
  exports="$(x86_64-w64-mingw32-objdump -p "$f" | awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next}
    on && /^[[:space:]]*$/ {on=0} on {n++} END {print n+0}')"
  printf '  %-24s %-12s %3s exports\n' "$(basename "$f")" "$machine" "$exports"
done
