#!/bin/sh
# The main job: the shipped sample frame, filtered through VLM.FLT inside
# minihost. It sharpens only the blue glossy sphere (object ID 3) and writes
# out/frame_sharpened.png. Runs headless: no display is needed.
set -eu
. "$(dirname "$0")/env.sh"
"$root/scripts/build.sh"

out="$root/out"
mkdir -p "$out"
host="$root/build/win/bin/minihost.exe"

start_wine

run_wine 120 "$host" config "$out/sharpen_sphere.cfg" \
    --row "-1 -1 -1" --row "-1  9 -1" --row "-1 -1 -1" --divide 1 \
    --source object --object-id 3 --name "Sharpen blue sphere"
run_wine 600 "$host" render "$root/samples/frame.png" "$out/frame_sharpened.png" \
    --config "$out/sharpen_sphere.cfg" --object-ids "$root/samples/object_ids.png" --time
echo "wrote $out/frame_sharpened.png (configuration: $out/sharpen_sphere.cfg)"
