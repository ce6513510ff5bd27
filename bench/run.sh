#!/bin/sh
# Prints one table of one run: the engine as it ships (the i686 engine of
# VLM.FLT's cross build, timed under Wine by bench_i686.exe, with the whole
# render against the design floor) beside the native x86-64 engine, OpenCV
# and libvips, then the targets as ratios. Builds the cross build (through
# scripts/build.sh) and the native benchmark (Release, no sanitizers, in
# build/bench); installs the peers with apt when they are missing.
# --quick: 1920x1080 only.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo

PKGS="cmake make g++ pkg-config libopencv-dev libvips-dev libvips-tools"
missing=
for p in $PKGS; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "installing:$missing" >&2
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

"$here/scripts/build.sh" >/dev/null
cmake --build "$here/build/win" -j2 --target bench_i686 >/dev/null
build="$here/build/bench"
cmake -S "$here/bench" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 >/dev/null

# One thread everywhere: the filter runs on the host's single UI thread.
export VIPS_CONCURRENCY=1 OMP_NUM_THREADS=1 OPENCV_FOR_THREADS_NUM=1
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
exec "$build/bench_convolve" --i686 "$here/build/win/bin/bench_i686.exe" "$@"
