#!/bin/sh
# Builds the release (Release mode) and writes dist/velmora-filter-<version>.zip:
# VLM.FLT, minihost.exe with HOSTLIB.DLL, the starter VLM.SET where minihost
# reads it (settings/), the sample frame with its object and material IDs,
# the two pictures INSTALL.txt shows (docs/: the starter library's sheet and
# the frame's edge), and INSTALL.txt, whose list of host services comes from
# host/services.txt. The version is the one module/version.h gives.
set -eu
. "$(dirname "$0")/env.sh"
# VLM_BUILT=1: the caller has just built.
[ "${VLM_BUILT:-}" = 1 ] || "$root/scripts/build.sh"

version=$(sed -n 's/^#define VLM_VERSION "\(.*\)"$/\1/p' "$root/module/version.h")
[ -n "$version" ] || { echo "package: no VLM_VERSION in module/version.h" >&2; exit 1; }
name="velmora-filter-$version"
bin="$root/build/win/bin"
stage="$root/build/package/$name"
rm -rf "$root/build/package"
mkdir -p "$stage/settings" "$stage/samples/ids" "$stage/samples/materials" "$stage/docs" "$root/dist"

cp "$bin/VLM.FLT" "$bin/minihost.exe" "$stage/"
cp "$bin/HOSTLIB.dll" "$stage/HOSTLIB.DLL"
cp "$root/samples/frame.png" "$stage/samples/frame.png"
cp "$root/samples/object_ids.png" "$stage/samples/ids/frame.png"
cp "$root/samples/material_ids.png" "$stage/samples/materials/frame.png"
cp "$root/docs/kernel_sheet.png" "$root/docs/border.png" "$stage/docs/"
title="Velmora Filter $version"
underline=$(printf '%s' "$title" | tr '[:print:]' '=')
services=$(grep -v '^#' "$root/host/services.txt" | awk 'NF { $1 = ""; print "  -" $0 }')
python3 - "$root/packaging/INSTALL.txt" "$stage/INSTALL.txt" "$title
$underline" "$services" <<'PY'
import sys
src, out, title, services = sys.argv[1:]
text = open(src).read().replace("@TITLE@", title).replace("@SERVICES@", services)
assert "@" not in text, "INSTALL.txt: a placeholder is left"
open(out, "w", newline="\r\n").write(text)
PY
start_wine
run_wine 120 "$bin/make_starter_set.exe" "$(winpath "$root/library/starter/kernels.txt")" \
    "$(winpath "$stage/settings/VLM.SET")" >/dev/null

zip="$root/dist/$name.zip"
rm -f "$zip"
python3 - "$root/build/package" "$name" "$zip" <<'PY'
import os, sys, zipfile
top, name, out = sys.argv[1:]
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
    for folder, dirs, files in sorted(os.walk(os.path.join(top, name))):
        dirs.sort()
        for f in sorted(files):
            path = os.path.join(folder, f)
            z.write(path, os.path.relpath(path, top).replace(os.sep, "/"))
PY
echo "wrote $zip"
