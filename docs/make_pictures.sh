#!/bin/sh
# Rebuilds the README's pictures: run scripts/main.sh first.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
g++ -std=c++17 -O2 -o "$tmp/make_pictures" "$root/docs/make_pictures.cpp" -lpng
"$tmp/make_pictures" "$root/samples/frame.png" "$root/out/frame_sharpened.png" "$root/docs" 275 150 115 110
