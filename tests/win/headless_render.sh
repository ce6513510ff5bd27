#!/bin/sh
# minihost render and config on a machine without any display.
set -eu
bin=$1 samples=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
unset DISPLAY WAYLAND_DISPLAY
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
timeout -k 5 50 wine "$bin/minihost.exe" config "$tmp/s.cfg" --row "0 -1 0" --row "-1 5 -1" --row "0 -1 0" \
    --source object --object-id 2
timeout -k 5 50 wine "$bin/minihost.exe" render "$samples/frame.png" "$tmp/out.png" --config "$tmp/s.cfg" \
    --object-ids "$samples/object_ids.png"
test -s "$tmp/out.png"
cmp -s "$samples/frame.png" "$tmp/out.png" && { echo "output equals input"; exit 1; }
echo "headless render ok"
