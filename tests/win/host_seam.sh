#!/bin/sh
# The seam between the plug-in and the host stays as narrow as documented:
# VLM.FLT imports from the host library exactly what host/services.txt lists,
# and the engine (render/) depends on nothing of the filter (plugin/).
set -eu
root=$1 plugin=$2
status=0

imports=$(mktemp) listed=$(mktemp)
trap 'rm -f "$imports" "$listed"' EXIT
i686-w64-mingw32-objdump -p "$plugin" | awk '
    /DLL Name:/ { host = tolower($3) == "hostlib.dll"; next }
    host && NF == 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ { print $3 }' | sort > "$imports"
grep -v '^#' "$root/host/services.txt" | awk 'NF { print $1 }' | sort > "$listed"
[ -s "$imports" ] || { echo "no imports from HOSTLIB.DLL found in $plugin"; exit 1; }
extra=$(comm -23 "$imports" "$listed")
gone=$(comm -13 "$imports" "$listed")
[ -z "$extra" ] || { echo "VLM.FLT imports host services that host/services.txt does not list:"; echo "$extra"; status=1; }
[ -z "$gone" ] || { echo "host/services.txt lists services VLM.FLT no longer imports:"; echo "$gone"; status=1; }

if grep -ln '#include "plugin/' "$root"/render/*; then
    echo "render/ includes the filter's headers (above): the engine must not depend on plugin/"
    status=1
fi
[ $status -eq 0 ] && echo "host seam ok: $(wc -l < "$imports") services"
exit $status
