#!/bin/sh
# The main job: the shipped sample frame, filtered through VLM.FLT inside
# minihost. It sharpens only the blue glossy sphere (object ID 3) and writes
# out/frame_sharpened.png, then does the same to a three-shot sequence in one
# batch (out/sequence/). Runs headless: no display is needed.
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

# The same filter over a short sequence, one filter for the whole batch, each
# shot with its own object IDs.
run_wine 600 "$host" render "$root/samples/sequence" --out-dir "$out/sequence" \
    --config "$out/sharpen_sphere.cfg" --object-ids-dir "$root/samples/sequence_ids" --time
echo "wrote $out/sequence/ (shot_1.png to shot_3.png)"
