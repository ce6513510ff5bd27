#!/bin/sh
# Runs every test: the native build under ASan/UBSan, the Windows build under
# Wine and Xvfb, and a bounded fuzz run beside the Windows tests, which leave
# a core idle while they wait on windows. Fails when any of them fails. Each
# stage says how long it took.
set -eu
. "$(dirname "$0")/env.sh"
stage_start=$(date +%s)
took() { now=$(date +%s); echo "   ($1: $((now - stage_start)) s)"; stage_start=$now; }
"$root/scripts/build.sh" --native
took build
# The package test unpacks what a user gets.
VLM_BUILT=1 "$root/scripts/package.sh"
took package

status=0
echo "== native tests (ASan, UBSan)"
ctest --test-dir "$root/build/native" --output-on-failure -j "$jobs" || status=1
took "native tests"

fuzz_log=
if [ -x "$root/fuzz/run.sh" ]; then
    echo "== fuzzing (${FUZZ_SECONDS:=15} s a target) beside the Windows tests"
    fuzz_log=$(mktemp)
    FUZZ_SECONDS=$FUZZ_SECONDS "$root/fuzz/run.sh" >"$fuzz_log" 2>&1 &
    fuzz_pid=$!
fi

echo "== Windows tests (Wine, Xvfb)"
# with_wine.sh starts them with a server of their own, which goes with the
# display it served. Each test is bounded by its CTest TIMEOUT.
xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$root/scripts/with_wine.sh" ctest --test-dir "$root/build/win" --output-on-failure || status=1
stop_wine_server
took "Windows tests"

if [ -n "$fuzz_log" ]; then
    echo "== fuzzing"
    wait "$fuzz_pid" || status=1
    cat "$fuzz_log"
    rm -f "$fuzz_log"
    took "fuzzing, after the Windows tests"
fi

# The README's farm section on a Slurm cluster of this machine alone: root
# only, and skipped, with the reason, where Slurm cannot start.
echo "== render farm (Slurm, one machine)"
farm=0
sh "$root/tests/farm/slurm_test.sh" || farm=$?
[ $farm -eq 0 ] || [ $farm -eq 77 ] || status=1
took "render farm"

[ $status -eq 0 ] && echo "== all tests passed" || echo "== SOME TESTS FAILED"
exit $status
