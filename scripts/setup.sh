#!/bin/sh
# Installs everything the build, the tests and the main job need on a fresh
# Debian machine. Safe to run again: it only touches apt when something is
# missing, and only fetches the libpng sources once.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo

PKGS="cmake make g++ clang libclang-rt-14-dev g++-mingw-w64-i686 libz-mingw-w64-dev \
wine wine32:i386 fonts-wine xvfb xauth googletest libgtest-dev dpkg-dev libpng-dev zlib1g-dev python3"

missing=
for p in $PKGS; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    need_update=1
fi

# libpng's sources are built with the cross compiler, so we need a deb-src entry.
if ! grep -rqs '^Types: deb-src' /etc/apt/sources.list.d/ 2>/dev/null; then
    $SUDO sh -c 'cat > /etc/apt/sources.list.d/vlm-src.sources <<SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC'
    need_update=1
fi

if [ -n "$missing" ] || [ -n "${need_update:-}" ]; then
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq >/dev/null
    [ -z "$missing" ] || $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

src="$here/third_party/src"
if [ ! -d "$src/libpng" ]; then
    mkdir -p "$src"
    tmp=$(mktemp -d)
    (cd "$tmp" && apt-get -o APT::Sandbox::User=root source --download-only -qq libpng1.6 >/dev/null)
    tarball=$(ls "$tmp"/libpng1.6_*.orig.tar.* | head -n1)
    mkdir -p "$src/libpng"
    tar -xf "$tarball" -C "$src/libpng" --strip-components=1
    rm -rf "$tmp"
fi

# Wine's first start builds its prefix; do it once here rather than inside a
# test timeout. Wine then draws window frames itself: with no window manager
# under Xvfb, a managed window costs a 2 s wait each time it closes.
prefix=${WINEPREFIX:-$HOME/.wine}
if [ ! -f "$prefix/.velmora-ready" ]; then
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    timeout -k 10 600 wineboot -i >/dev/null 2>&1 || true
    timeout -k 10 120 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    timeout 120 wineserver -w || wineserver -k
    touch "$prefix/.velmora-ready"
fi
