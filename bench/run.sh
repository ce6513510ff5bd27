#!/bin/sh
# Builds the convolution benchmark (native, Release, no sanitizers, in
# build/bench) and prints one table: our engine against its scalar reference,
# OpenCV, libvips, the memory floor and the real VLM.FLT under Wine.
# Installs the peers with apt when they are missing; safe to run again.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo

PKGS="cmake make g++ pkg-config libopencv-dev libvips-dev libpng-dev"
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

build="$here/build/bench"
cmake -S "$here/bench" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 >/dev/null

# One thread everywhere: the filter runs on the host's single UI thread.
export VIPS_CONCURRENCY=1 OMP_NUM_THREADS=1 OPENCV_FOR_THREADS_NUM=1
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
exec "$build/bench_convolve" --minihost "$here/build/win/bin/minihost.exe" --work "$build/work" "$@"
