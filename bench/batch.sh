#!/bin/sh
# A batch as users run one: six 1920x1080 16-bit RGBA frames of rendered
# content (the sample frame enlarged 3x, each shifted a few pixels), a 5x5
# kernel, one `minihost render DIR --out-dir` under Wine, against libvips'
# command line called once per frame with the same kernel. Whole processes,
# wall time, runs interleaved; prints each run, the medians and the ratio.
# The frames and outputs go to a temporary folder (or $BATCH_TMP), removed
# at the end. Usage: bench/batch.sh [RUNS] (default 5).
set -eu
. "$(dirname "$0")/../scripts/env.sh"
runs=${1:-5}

if ! command -v vips >/dev/null 2>&1; then
    echo "installing: libvips-tools" >&2
    sh "$root/scripts/apt_install.sh" libvips-tools
fi
"$root/scripts/build.sh" >/dev/null
minihost="$root/build/win/bin/minihost.exe"

tmp=${BATCH_TMP:-$(mktemp -d)}
mkdir -p "$tmp/in"
trap 'rm -rf "$tmp"' EXIT
vips resize "$root/samples/frame.png" "$tmp/big.v" 3
for k in 0 1 2 3 4 5; do
    vips embed "$tmp/big.v" "$tmp/in/f$k.png" $((k * 9)) 0 1920 1080 --extend mirror
done
rm "$tmp/big.v"

# A non-separable sharpen, the same for both.
printf '5 5 9 0\n-1 -1 -1 -1 -1\n-1 -1 -1 -1 -1\n-1 -1 33 -1 -1\n-1 -1 -1 -1 -1\n-1 -1 -1 -1 -1\n' >"$tmp/k.mat"
start_wine
run_wine 60 "$minihost" config "$(winpath "$tmp/k.cfg")" --row "-1 -1 -1 -1 -1" --row "-1 -1 -1 -1 -1" \
    --row "-1 -1 33 -1 -1" --row "-1 -1 -1 -1 -1" --row "-1 -1 -1 -1 -1" --divide 9 >/dev/null

now() { date +%s.%N; }
minihost_batch() {
    rm -rf "$tmp/out"
    run_wine 300 "$minihost" render "$(winpath "$tmp/in")" --out-dir "$(winpath "$tmp/out")" \
        --config "$(winpath "$tmp/k.cfg")" >/dev/null
}
vips_frames() {  # CONCURRENCY (empty: libvips' own choice)
    for k in 0 1 2 3 4 5; do
        VIPS_CONCURRENCY=$1 vips conv "$tmp/in/f$k.png" "$tmp/v$k.png" "$tmp/k.mat" --precision integer
    done
}

minihost_batch  # warm-up: file cache, Wine
vips_frames 1
echo "run  minihost-batch-s  vips-1-thread-s  vips-threads-s"
: >"$tmp/times"
i=1
while [ "$i" -le "$runs" ]; do
    t0=$(now); minihost_batch; t1=$(now); vips_frames 1; t2=$(now); vips_frames ""; t3=$(now)
    line=$(echo "$t0 $t1 $t2 $t3" | awk '{printf "%.3f %.3f %.3f", $2-$1, $3-$2, $4-$3}')
    echo "$i $line"
    echo "$line" >>"$tmp/times"
    i=$((i + 1))
done
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
m=$(cut -d' ' -f1 "$tmp/times" | median)
v1=$(cut -d' ' -f2 "$tmp/times" | median)
vt=$(cut -d' ' -f3 "$tmp/times" | median)
echo "medians: minihost $m s, vips one thread $v1 s, vips threads $vt s"
echo "vips / minihost: $(echo "$v1 $m" | awk '{printf "%.2fx", $1/$2}') (vips one thread)," \
     "$(echo "$vt $m" | awk '{printf "%.2fx", $1/$2}') (vips threads)"
echo "output bytes: minihost $(cat "$tmp"/out/*.png | wc -c), vips $(cat "$tmp"/v?.png | wc -c)"
echo "processor: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores"
