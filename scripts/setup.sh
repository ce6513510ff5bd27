#!/bin/sh
# Installs everything the build, the tests and the main job need on a fresh
# Debian machine. Safe to run again: it only touches apt when something is
# missing, and only fetches the libpng and libtiff sources once.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo

PKGS="cmake make g++ clang lld libclang-rt-14-dev g++-mingw-w64-i686 libz-mingw-w64-dev \
wine wine32:i386 fonts-wine xvfb xauth googletest libgtest-dev dpkg-dev libpng-dev zlib1g-dev python3"

missing=
for p in $PKGS; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    need_update=1
fi

# libpng's and libtiff's sources are built with the cross compiler, so apt needs a deb-src
# entry. It is derived from the machine's own deb entries (same URIs, suites
# and keys), so this script names no server of its own.
ours=/etc/apt/sources.list.d/vlm-src
derived_sources() {
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] && [ "$f" != "$ours.sources" ] || continue
        awk 'BEGIN { RS = ""; ORS = "\n\n" }
             /(^|\n)Types:([^\n]* )?deb( |\n|$)/ && !/(^|\n)Enabled: *[Nn]o/ {
                 sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f"
    done
}
derived_lines() {
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] && [ "$f" != "$ours.list" ] || continue
        sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f"
    done
}
has_src() {
    grep -rqsE '^[[:space:]]*(Types:.*deb-src|deb-src[[:space:]])' /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null
}
# An entry of ours from an earlier run is made again from what the machine has now.
if [ -f "$ours.sources" ] || [ -f "$ours.list" ] || ! has_src; then
    tmp=$(mktemp -d)
    derived_sources > "$tmp/src.sources"
    derived_lines > "$tmp/src.list"
    for kind in sources list; do
        if [ -s "$tmp/src.$kind" ]; then
            if ! cmp -s "$tmp/src.$kind" "$ours.$kind"; then
                $SUDO cp "$tmp/src.$kind" "$ours.$kind"
                need_update=1
            fi
        elif [ -f "$ours.$kind" ]; then
            $SUDO rm -f "$ours.$kind"
            need_update=1
        fi
    done
    rm -rf "$tmp"
    has_src || { echo "setup: no deb entry in the apt sources to take a deb-src entry from" >&2; exit 1; }
fi

if [ -n "$missing" ] || [ -n "${need_update:-}" ]; then
    # shellcheck disable=SC2086 # one word a package
    sh "$here/scripts/apt_install.sh" $missing
fi

src="$here/third_party/src"
# Unpacks the upstream tarball of a Debian source package into
# third_party/src/DIR, once. Only the tarball is built. A mirror may serve it
# but not the packaging files of the newest (security) revision, so apt's
# verdict on those is not what decides; the tarball's arrival is.
fetch_source() {  # PACKAGE DIR
    [ ! -d "$src/$2" ] || return 0
    mkdir -p "$src"
    tmp=$(mktemp -d)
    (cd "$tmp" && apt-get -o APT::Sandbox::User=root source --download-only -qq "$1" >/dev/null 2>&1) || true
    tarball=$(ls "$tmp"/"$1"_*.orig.tar.* 2>/dev/null | head -n1)
    if [ -z "$tarball" ]; then
        echo "setup: apt-get source $1 brought no upstream tarball" >&2
        rm -rf "$tmp"
        exit 1
    fi
    rm -rf "$src/$2.part"
    mkdir -p "$src/$2.part"
    tar -xf "$tarball" -C "$src/$2.part" --strip-components=1
    mv "$src/$2.part" "$src/$2"
    rm -rf "$tmp"
}
fetch_source libpng1.6 libpng
fetch_source tiff libtiff

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
