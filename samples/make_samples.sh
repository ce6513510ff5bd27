#!/bin/sh
# Rebuilds the sample frame and its ID channels in this folder: compiles
# make_sample_frame.cpp (needs g++ and libpng-dev) and runs it. The output is
# deterministic, so a rerun leaves the committed files unchanged.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
g++ -std=c++17 -O2 -Wall -Wextra -o "$tmp/make_sample_frame" "$here/make_sample_frame.cpp" \
    $(pkg-config --cflags --libs libpng 2>/dev/null || echo -lpng)
mkdir -p "$here/sequence" "$here/sequence_ids"
"$tmp/make_sample_frame" "$here"
echo "wrote $here/frame.png, object_ids.png, material_ids.png, sharpen.txt, sequence/ and sequence_ids/"
