#!/bin/sh
# Runs every test: the native build under ASan/UBSan, the Windows build under
# Wine and Xvfb, and a bounded fuzz run. Fails when any of them fails.
set -eu
. "$(dirname "$0")/env.sh"
"$root/scripts/build.sh" --native
# The package test unpacks what a user gets.
"$root/scripts/package.sh"

status=0
echo "== native tests (ASan, UBSan)"
ctest --test-dir "$root/build/native" --output-on-failure -j "$jobs" || status=1

echo "== Windows tests (Wine, Xvfb)"
# A Wine server left by an earlier run without a display could show none of
# the tests' windows: they start with a server of their own, which goes with
# the display it served. Each test is bounded by its CTest TIMEOUT.
stop_wine_server
xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$root/scripts/with_wine.sh" ctest --test-dir "$root/build/win" --output-on-failure || status=1
stop_wine_server

if [ -x "$root/fuzz/run.sh" ]; then
    echo "== fuzzing (${FUZZ_SECONDS:=15} s a target)"
    FUZZ_SECONDS=$FUZZ_SECONDS "$root/fuzz/run.sh" || status=1
fi

[ $status -eq 0 ] && echo "== all tests passed" || echo "== SOME TESTS FAILED"
exit $status
