#!/bin/sh
# Builds the release (Release mode) and writes dist/velmora-filter-<version>.zip:
# VLM.FLT, the starter VLM.SET, minihost.exe with HOSTLIB.DLL, and INSTALL.txt.
# The version is the one plugin/version.h gives.
set -eu
. "$(dirname "$0")/env.sh"
"$root/scripts/build.sh"

version=$(sed -n 's/^#define VLM_VERSION "\(.*\)"$/\1/p' "$root/plugin/version.h")
[ -n "$version" ] || { echo "package: no VLM_VERSION in plugin/version.h" >&2; exit 1; }
name="velmora-filter-$version"
bin="$root/build/win/bin"
stage="$root/build/package/$name"
rm -rf "$root/build/package"
mkdir -p "$stage" "$root/dist"

cp "$bin/VLM.FLT" "$bin/minihost.exe" "$stage/"
cp "$bin/HOSTLIB.dll" "$stage/HOSTLIB.DLL"
sed "s/@VERSION@/$version/" "$root/packaging/INSTALL.txt" | sed 's/$/\r/' > "$stage/INSTALL.txt"
start_wine
run_wine 120 "$bin/make_starter_set.exe" "$(winpath "$root/library/starter/kernels.txt")" \
    "$(winpath "$stage/VLM.SET")" >/dev/null

zip="$root/dist/$name.zip"
rm -f "$zip"
python3 - "$root/build/package" "$name" "$zip" <<'PY'
import os, sys, zipfile
top, name, out = sys.argv[1:]
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
    for f in sorted(os.listdir(os.path.join(top, name))):
        z.write(os.path.join(top, name, f), name + "/" + f)
PY
echo "wrote $zip"
