#!/bin/sh
# A bench, not a test: one batch of a long sequence of small frames (10,000
# of 64 x 64 by default), timed by when each "wrote" line reaches stdout.
# Prints the time a frame over the first and the last thousand, their ratio,
# and the longest gap between two frames (a commit and everything around
# it). What grows with the sequence shows as a ratio above 1.
#   bench/sequence.sh [MINIHOST.EXE] [FRAMES]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
host=${1:-$root/build/win/bin/minihost.exe}
count=${2:-10000}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/seq" "$tmp/out"
python3 - "$tmp/seq/frame.png" <<'PY'
import struct, sys, zlib
w = h = 64
raw = b"".join(b"\0" + b"".join(struct.pack(">HHH", x * 1000, y * 1000, 30000) for x in range(w)) for y in range(h))
chunk = lambda t, d: struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d))
open(sys.argv[1], "wb").write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 16, 2, 0, 0, 0))
                              + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))
PY
i=1
while [ $i -le "$count" ]; do ln "$tmp/seq/frame.png" "$tmp/seq/shot.$(printf %05d $i).png"; i=$((i + 1)); done
rm "$tmp/seq/frame.png"
timeout 60 wine "$host" config "$tmp/k.cfg" --row "0 0 0" --row "0 1 0" --row "0 0 0" >/dev/null
timeout 3600 wine "$host" render "$tmp/seq/shot.#####.png" --out-dir "$tmp/out" --config "$tmp/k.cfg" 2>/dev/null |
    python3 -c '
import sys, time
stamps = [time.monotonic() for line in iter(sys.stdin.readline, "") if line.startswith("wrote ")]
gaps = [b - a for a, b in zip(stamps, stamps[1:])]
k = min(1000, len(gaps) // 2)
first, last = sum(gaps[:k]) / k * 1000, sum(gaps[-k:]) / k * 1000
worst = max(range(len(gaps)), key=gaps.__getitem__)
print("%d frames; ms a frame: first %d %.3f, last %d %.3f, ratio %.2f; longest gap %.1f ms (after frame %d)"
      % (len(stamps), k, first, k, last, last / first, gaps[worst] * 1000, worst + 1))'
