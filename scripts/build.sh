#!/bin/sh
# Builds the plug-in, the stand-in host and the Windows tests (cross), and,
# with --native, the native (ASan/UBSan) build of the Win32-free code.
set -eu
. "$(dirname "$0")/env.sh"
"$root/scripts/setup.sh"

cmake -S "$root" -B "$root/build/win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build/win" -j "$jobs"

if [ "${1:-}" = "--native" ]; then
    cmake -S "$root" -B "$root/build/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$root/build/native" -j "$jobs"
fi
