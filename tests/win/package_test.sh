#!/bin/sh
# The release package as a user gets it: unpacked into an empty folder, it
# holds exactly its five files, imports nothing a host machine lacks, and
# minihost runs from there (info, and one render with a starter kernel).
set -eu
root=$1 samples=$2
version=$(sed -n 's/^#define VLM_VERSION "\(.*\)"$/\1/p' "$root/plugin/version.h")
zip="$root/dist/velmora-filter-$version.zip"
[ -f "$zip" ] || { echo "no package: $zip (scripts/package.sh writes it)"; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$tmp"
dir="$tmp/velmora-filter-$version"
listed=$(cd "$dir" && ls | tr '\n' ' ')
[ "$listed" = "HOSTLIB.DLL INSTALL.txt VLM.FLT VLM.SET minihost.exe " ] || { echo "package holds: $listed"; exit 1; }

# Only system DLLs and the host's own: no compiler runtime.
for f in VLM.FLT minihost.exe HOSTLIB.DLL; do
    i686-w64-mingw32-objdump -p "$dir/$f" | sed -n 's/^[[:space:]]*DLL Name: //p' | while read -r dll; do
        case $(echo "$dll" | tr 'A-Z' 'a-z') in
            hostlib.dll|kernel32.dll|user32.dll|gdi32.dll|comctl32.dll|msvcrt.dll|advapi32.dll|shell32.dll|ole32.dll) ;;
            *) echo "$f imports $dll, which a host machine lacks"; exit 1 ;;
        esac
    done
done

cd "$dir"
unset DISPLAY WAYLAND_DISPLAY
timeout -k 10 60 wine ./minihost.exe info > "$tmp/info.txt"
grep -q "^class name: Velmora Filter" "$tmp/info.txt" || { cat "$tmp/info.txt"; exit 1; }
# The starter library came along, one line a name.
test "$(tr -d '\r' < VLM.SET | grep -c '^Sharpen mild$')" = 1
timeout -k 10 60 wine ./minihost.exe config s.cfg --row "0 -1 0" --row "-1 5 -1" --row "0 -1 0"
timeout -k 10 60 wine ./minihost.exe render "$(winpath "$samples/frame.png")" out.png --config s.cfg
test -s out.png
cmp -s "$samples/frame.png" out.png && { echo "output equals input"; exit 1; }
echo "package ok: $(basename "$zip")"
