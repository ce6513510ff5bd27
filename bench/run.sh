#!/bin/sh
# Prints one table of one run: the engine as it ships (the i686 engine of
# VLM.FLT's cross build, timed under Wine by bench_i686.exe, with the whole
# render against the design floor) beside the native x86-64 engine, OpenCV
# and libvips, each route's cycles a pixel against the processor's measured
# multiply-add bound, then the targets as ratios. Builds the cross build (through
# scripts/build.sh) and the native benchmark (Release, no sanitizers, in
# build/bench); installs the peers with apt when they are missing.
# --quick: 1920x1080 only. Then where a fresh process's first 1080p render
# spends its time (first_frame.exe): medians of five fresh processes a
# kernel, each step at its first run beside the same steps warm; and the
# first render whole beside later renders of a frame in the caches and of
# one flushed from them.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)

PKGS="cmake make g++ pkg-config libopencv-dev libvips-dev libvips-tools"
missing=
for p in $PKGS; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "installing:$missing" >&2
    # The project's installer (a mirror mid-sync falls back on the release's
    # own suite); what it cannot install leaves the peers out, not the engine.
    # shellcheck disable=SC2086 # one word a package
    sh "$here/scripts/apt_install.sh" $missing ||
        echo "run.sh: could not install$missing; the table goes without what is missing" >&2
fi

"$here/scripts/build.sh" >/dev/null
cmake --build "$here/build/win" -j2 --target bench_i686 first_frame >/dev/null
build="$here/build/bench"
cmake -S "$here/bench" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 >/dev/null

# One thread everywhere: the filter runs on the host's single UI thread.
export VIPS_CONCURRENCY=1 OMP_NUM_THREADS=1 OPENCV_FOR_THREADS_NUM=1
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$build/bench_convolve" --i686 "$here/build/win/bin/bench_i686.exe" "$@"

# The median of each step's figures over the five processes, one line a kernel.
medians() {
    awk -v k="$1" -v steps="$2" '$1 == "first" { t[$4] = t[$4] " " $5 }
        END {
            n = split(steps, names, " ")
            line = k ":"
            for (i = 1; i <= n; ++i) {
                m = split(t[names[i]], v, " ")
                for (a = 1; a <= m; ++a) for (b = a + 1; b <= m; ++b) if (v[b] + 0 < v[a] + 0) { x = v[a]; v[a] = v[b]; v[b] = x }
                line = line " " names[i] " " v[int((m + 1) / 2)]
            }
            print line
        }'
}
echo "first 1920x1080 render of a fresh process, ms, medians of 5 processes (first_frame.cpp names the steps)"
for kernel in 3x3 9x9; do
    for run in 1 2 3 4 5; do wine "$here/build/win/bin/first_frame.exe" 1920x1080 "$kernel" steps; done |
        medians "$kernel" "processor ring route prepare lines pass floor whole fresh"
done
echo "the same, whole: the first render against later ones of a frame in the caches and of one flushed from them"
for kernel in 3x3 9x9; do
    for run in 1 2 3 4 5; do wine "$here/build/win/bin/first_frame.exe" 1920x1080 "$kernel" whole; done |
        medians "$kernel" "processor first cached flushed cachedfloor flushedfloor"
done
