#!/bin/bash
# Installs, as root on Debian 12, whatever the build and the tests need and is still missing:
# the mingw-w64 cross compilers, Wine, CMake, Ninja, GoogleTest's sources and jsoncpp 1.9.5's
# sources (from Debian's source package). A second run finds everything and returns quickly.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
THIRD="$ROOT/third_party"

need_pkgs=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_cmd i686-w64-mingw32-g++-posix || need_pkgs+=(g++-mingw-w64-i686 binutils-mingw-w64-i686)
have_cmd x86_64-w64-mingw32-g++-posix || need_pkgs+=(g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64)
[ -x /usr/lib/wine/wine64 ] || need_pkgs+=(wine64)
have_cmd cmake || need_pkgs+=(cmake)
have_cmd ninja || need_pkgs+=(ninja-build)
have_cmd make || need_pkgs+=(make)
have_cmd dpkg-source || need_pkgs+=(dpkg-dev)
[ -f /usr/src/googletest/CMakeLists.txt ] || need_pkgs+=(googletest)
locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$' || need_pkgs+=(locales)

apt_updated=0
apt_update_once() {
  if [ "$apt_updated" = 0 ]; then
    apt-get update -qq
    apt_updated=1
  fi
}

if [ "${#need_pkgs[@]}" -gt 0 ]; then
  echo "prereqs: installing ${need_pkgs[*]}"
  apt_update_once
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need_pkgs[@]}" >/dev/null
fi

# Wine reports code page 936 only when the Linux locale is a Chinese one.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
  echo "prereqs: generating zh_CN.UTF-8 locale"
  sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >>/etc/locale.gen
  locale-gen >/dev/null
fi

# jsoncpp 1.9.5 from Debian's source package, unpacked into third_party/.
JSONCPP_DIR="$THIRD/jsoncpp-1.9.5"
if [ ! -f "$JSONCPP_DIR/src/lib_json/json_reader.cpp" ]; then
  echo "prereqs: fetching jsoncpp source package"
  mkdir -p "$THIRD/download"
  if ! ls "$THIRD"/download/libjsoncpp_1.9.5.orig.tar.gz >/dev/null 2>&1; then
    # apt-get source needs deb-src entries: mirror every binary entry the machine has.
    if ! grep -qs '^deb-src\|^Types:.*deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/*; then
      for f in /etc/apt/sources.list.d/*.sources; do
        if [ -f "$f" ]; then
          sed 's/^Types: deb$/Types: deb-src/' "$f" >"/etc/apt/sources.list.d/kova-src-$(basename "$f")"
        fi
      done
      { cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true; } |
        sed -n 's/^deb \(.*\)/deb-src \1/p' >/etc/apt/sources.list.d/kova-src.list
      apt_updated=0
    fi
    apt_update_once
    (cd "$THIRD/download" && apt-get source --download-only -qq libjsoncpp=1.9.5-4 >/dev/null 2>&1 ||
      apt-get source --download-only -qq libjsoncpp >/dev/null)
  fi
  tar -xzf "$THIRD"/download/libjsoncpp_1.9.5.orig.tar.gz -C "$THIRD"
  [ -f "$JSONCPP_DIR/src/lib_json/json_reader.cpp" ] || { echo "prereqs: jsoncpp 1.9.5 not found" >&2; exit 1; }
fi
echo "prereqs: all in place"
