#!/bin/sh
# One task of a Slurm array job: runs under Wine the minihost command it is
# given, with the task's frame range last. "sbatch --array=1-240:60" numbers
# the tasks 1, 61, 121 and 181, each the first frame of its range of 60.
# Each task has a Wine prefix of its own (the submitter's WINEPREFIX, or
# ~/.wine, with -task-N after it), made or warmed before its frames, so no
# task waits on another's Wine server; task N of another job running at the
# same time shares it, which is why its server is left to end by itself. The
# task's exit status is minihost's, which is what the scheduler judges it by;
# its time limit is the scheduler's.
set -u
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
first=${SLURM_ARRAY_TASK_ID:?"submit with sbatch --array=FIRST-LAST:FRAMES_A_TASK"}
last=$((first + ${SLURM_ARRAY_TASK_STEP:-1} - 1))
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine}-task-$first"
if ! timeout -k 10 120 wine cmd /c exit >/dev/null 2>&1; then
    echo "Wine did not start in $WINEPREFIX within 120 s" >&2
    exit 1
fi
exec wine "$@" --frames "$first-$last"
