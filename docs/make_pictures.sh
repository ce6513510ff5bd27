#!/bin/sh
# Rebuilds the README's pictures: run scripts/main.sh first.
set -eu
. "$(dirname "$0")/../scripts/env.sh"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
g++ -std=c++17 -O2 -o "$tmp/make_pictures" "$root/docs/make_pictures.cpp" -lpng
"$tmp/make_pictures" "$root/samples/frame.png" "$root/out/frame_sharpened.png" "$root/docs" 275 150 115 110

# The border rule: a 9 x 9 box blur darkens the 4 pixels next to the frame's
# edge, where the taps outside the frame add nothing. The top-left corner,
# before and after.
host="$root/build/win/bin/minihost.exe"
row="1 1 1 1 1 1 1 1 1"
start_wine
run_wine 60 "$host" config "$tmp/blur.cfg" --row "$row" --row "$row" --row "$row" --row "$row" --row "$row" \
    --row "$row" --row "$row" --row "$row" --row "$row" --divide 81 --name "Box blur 9x9"
run_wine 120 "$host" render "$root/samples/frame.png" "$tmp/blurred.png" --config "$tmp/blur.cfg"
"$tmp/make_pictures" "$root/samples/frame.png" "$tmp/blurred.png" "$root/docs" 0 0 40 30 border.png

# The starter library's sheet: the sample frame and each of its kernels on
# it, as minihost sheet draws it; then the frame's most detailed region at
# full size, where the mild blurs show.
mkdir -p "$tmp/settings"
run_wine 60 "$root/build/win/bin/make_starter_set.exe" "$(winpath "$root/library/starter/kernels.txt")" \
    "$(winpath "$tmp/settings/VLM.SET")" >/dev/null
run_wine 120 "$host" --settings-dir "$tmp/settings" sheet "$root/samples/frame.png" "$root/docs/kernel_sheet.png" \
    >/dev/null
run_wine 120 "$host" --settings-dir "$tmp/settings" sheet "$root/samples/frame.png" \
    "$root/docs/kernel_sheet_detail.png" --detail >/dev/null
