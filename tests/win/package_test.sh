#!/bin/sh
# The release package as a user gets it: unpacked into an empty folder, it
# holds exactly its files, imports nothing a host machine lacks, and every
# example command of its INSTALL.txt runs from there as written: through
# Windows' command interpreter, and with "wine " before it.
set -eu
root=$1 press_ok=$2
version=$(sed -n 's/^#define VLM_VERSION "\(.*\)"$/\1/p' "$root/module/version.h")
zip="$root/dist/velmora-filter-$version.zip"
[ -f "$zip" ] || { echo "no package: $zip (scripts/package.sh writes it)"; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$tmp"
dir="$tmp/velmora-filter-$version"
listed=$(cd "$dir" && find . -type f | sort | tr '\n' ' ')
expected="./HOSTLIB.DLL ./INSTALL.txt ./VLM.FLT ./docs/border.png ./docs/kernel_sheet.png ./minihost.exe ./samples/frame.png ./samples/ids/frame.png ./samples/materials/frame.png ./settings/VLM.SET "
[ "$listed" = "$expected" ] || { echo "package holds: $listed"; exit 1; }

# Only system DLLs and the host's own: no compiler runtime.
for f in VLM.FLT minihost.exe HOSTLIB.DLL; do
    i686-w64-mingw32-objdump -p "$dir/$f" | sed -n 's/^[[:space:]]*DLL Name: //p' | while read -r dll; do
        case $(echo "$dll" | tr 'A-Z' 'a-z') in
            hostlib.dll|kernel32.dll|user32.dll|gdi32.dll|comctl32.dll|msvcrt.dll|advapi32.dll|shell32.dll|ole32.dll) ;;
            *) echo "$f imports $dll, which a host machine lacks"; exit 1 ;;
        esac
    done
done

title=$(head -n 1 "$dir/INSTALL.txt" | tr -d '\r')
underline=$(sed -n 2p "$dir/INSTALL.txt" | tr -d '\r')
[ "${#underline}" = "${#title}" ] || { echo "INSTALL.txt: the title's underline is not as long as the title"; exit 1; }

# The examples are the lines that start with "  minihost.exe ".
tr -d '\r' < "$dir/INSTALL.txt" | sed -n 's/^  \(minihost\.exe [^ ].*\)$/\1/p' > "$tmp/examples"
[ "$(wc -l < "$tmp/examples")" -ge 6 ] || { echo "INSTALL.txt: too few examples"; cat "$tmp/examples"; exit 1; }

# Runs one example in one form; a dialog it opens is answered with OK.
run() {  # FORM LINE
    form=$1 line=$2
    if [ "$form" = windows ]; then
        printf '@echo off\r\n%s\r\nexit /b %%ERRORLEVEL%%\r\n' "$line" > "$dir/example.bat"
        set -- wine cmd /c example.bat
    else
        eval "set -- wine $line"
    fi
    case $line in
        "minihost.exe setup "*)
            (cd "$dir" && timeout -k 5 60 "$@") > "$tmp/out" 2>&1 &
            pid=$!
            timeout -k 5 60 wine "$press_ok" "Velmora Filter Control" 30 || true
            wait $pid || return 1 ;;
        *) (cd "$dir" && timeout -k 5 60 "$@") > "$tmp/out" 2>&1 || return 1 ;;
    esac
}

while read -r line; do
    for form in windows wine; do
        run "$form" "$line" || { echo "INSTALL.txt example failed ($form): $line"; cat "$tmp/out"; exit 1; }
        case $line in
            "minihost.exe kernels") grep -q '^Sharpen strong' "$tmp/out" || { cat "$tmp/out"; exit 1; } ;;
            "minihost.exe show "*) grep -q '^name: Sharpen strong' "$tmp/out" || { cat "$tmp/out"; exit 1; } ;;
        esac
    done
done < "$tmp/examples"

for out in sharpened.png sphere.png glossy.png kernels.png detail.png filtered/frame.png; do
    test -s "$dir/$out" || { echo "the examples wrote no $out"; exit 1; }
    cmp -s "$dir/samples/frame.png" "$dir/$out" && { echo "$out equals the input frame"; exit 1; }
done
# Every file INSTALL.txt names is there once its examples have run: what the
# zip holds, and what the examples write. A bare name may be in any folder.
for name in $(tr -d '\r' < "$dir/INSTALL.txt" | grep -oE '[A-Za-z0-9_./-]+\.(png|txt|SET|FLT|DLL|exe|cfg)\b' | sort -u); do
    case $name in
        */*) test -e "$dir/$name" ;;
        *) [ -n "$(find "$dir" -name "$name")" ] ;;
    esac || { echo "INSTALL.txt names $name, which the package does not hold"; exit 1; }
done
echo "package ok: $(basename "$zip"), $(wc -l < "$tmp/examples") examples in both forms"
