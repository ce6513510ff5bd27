#!/bin/sh
# One task of a Slurm array job: runs under Wine the minihost command it is
# given, on its own part of the command's --frames FIRST-LAST. The range is
# the whole sequence's: "sbatch --array=1-250:60" numbers the tasks 1, 61,
# 121, 181 and 241, and task N renders N to N+59, the last one 241 to 250.
#
# Every exit is a status of minihost's table: minihost's own, or 2 with one
# line for a failure of this script's, 3 when minihost's Wine server ended
# under it, 4 when the scheduler's SIGTERM stopped it.
#
# - SIGTERM reaches minihost as a Ctrl-C (SIGINT), the stop it handles: it
#   stops at a line boundary, prints its stop line and exits 4. minihost is
#   started with SIGTERM ignored, since a signal may reach every process of
#   the task at once (scancel --full): what would end it by the signal,
#   with no stop line, is turned into the stop. If it has not ended
#   after VLM_FARM_GRACE seconds (5; keep it under the scheduler's KillWait)
#   it is killed, and the task still exits 4.
# - Delete-on-close is the Wine server's: a task killed whole (its server
#   too) would leave its temporaries. So minihost names them after an owner
#   that only this task holds (VLM_TEMP_OWNER=slurmJOBID; a requeued task
#   keeps its job id), and only this task's re-run or the job's epilog
#   removes them: regular files of that owner's name in the output folder.
#   The epilog is this script run with no command (slurm.conf's Epilog).
# - A minihost whose Wine server ends under it would wait for ever: the
#   script watches the server and ends the task with status 3.
# - Wine's prefix is made once a node, under flock, as
#   $WINEPREFIX-farm/base (~/.wine-farm/base without WINEPREFIX); each task
#   runs in a copy of it made of hard links (a few MB), which it removes at
#   its end. A copy, not the prefix itself: one prefix is one Wine server,
#   which a cancel of the task that started it would kill under every other.
set -u
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
say() { echo "farm_task: $1" >&2; }
# What a task owns, for its re-run and the epilog: its prefix's copy on the
# first line, then the folders it writes to.
owners="/tmp/velmora-farm-owners-${SLURM_JOB_UID:-$(id -u)}"

# Removes what an owner left: its temporaries, folder by folder as its
# record names them, and its copy of the prefix.
sweep() {  # OWNER
    [ -f "$owners/$1" ] || return 0
    { read -r prefix
      rm -rf "$prefix"
      while IFS= read -r folder; do
          [ ! -d "$folder" ] || find "$folder" -maxdepth 1 -type f -name "~minihost-$1-*.tmp" -delete 2>/dev/null
      done; } < "$owners/$1"
    rm -f "$owners/$1"
}

if [ $# -eq 0 ] && [ -n "${SLURM_JOB_ID:-}" ]; then
    # The epilog, on the node, after the task: as the task's user.
    if [ "$(id -u)" -eq 0 ] && [ "${SLURM_JOB_UID:-0}" -ne 0 ]; then
        exec setpriv --reuid="$SLURM_JOB_UID" --regid="${SLURM_JOB_GID:-$SLURM_JOB_UID}" --init-groups "$0"
    fi
    sweep "slurm$SLURM_JOB_ID"
    exit 0
fi
farm="${WINEPREFIX:-$HOME/.wine}-farm"

task=${SLURM_ARRAY_TASK_ID:-}
[ -n "$task" ] && [ -n "${SLURM_JOB_ID:-}" ] ||
    { say "not a task of an array job: submit with sbatch --array=FIRST-LAST:FRAMES_A_TASK"; exit 2; }
[ $# -ge 2 ] || { say "give the command: farm_task.sh MINIHOST.EXE render ... --frames FIRST-LAST"; exit 2; }

# The command, its --frames replaced by the task's part; the output folders
# (of --out and --out-dir) for the record.
range= folders= n=$# prev= out_next=
for a in "$@"; do
    if [ "$prev" = --frames ]; then
        range=$a
        a=TASK_RANGE
    elif [ -n "$out_next" ]; then
        folders="$folders$(dirname -- "$a")
"
        out_next=
    fi
    case "$a" in --out) out_next=1 ;; esac
    [ "$prev" != --out-dir ] || folders="$folders$a
"
    prev=$a
    set -- "$@" "$a"
done
shift "$n"
first=${range%%-*} last=${range#*-}
case "$first,$last" in
    ,* | *, | *[!0-9,]*) say "give the sequence's whole range once, as --frames FIRST-LAST (whole numbers): '$range'"; exit 2 ;;
esac
step=${SLURM_ARRAY_TASK_STEP:-1}
from=$((task > first ? task : first)) to=$((task + step - 1 < last ? task + step - 1 : last))
if [ "$from" -gt "$to" ]; then
    echo "farm_task: task $task has no frames of $first-$last"
    exit 0
fi
for a in "$@"; do
    [ "$a" = TASK_RANGE ] && a="$from-$to"
    set -- "$@" "$a"
done
shift "$n"

# Ends the task: its Wine server, temporaries and prefix's copy gone. A
# stop that comes now is no longer passed on, so that the status is the
# one given.
owner="slurm$SLURM_JOB_ID" copy=
finish() {  # STATUS
    trap '' TERM INT
    if [ -n "$copy" ]; then
        wineserver -k 2>/dev/null
        timeout 10 wineserver -w 2>/dev/null
    fi
    sweep "$owner"
    exit "$1"
}
# Stopped before minihost starts: nothing of it to stop.
trap 'say "stopped before minihost started"; finish 4' TERM INT

# The node's prefix, made once, whoever comes first; the task's copy of it.
mkdir -p "$farm" "$owners" || { say "cannot make $farm or $owners"; exit 2; }
(
    flock 9
    [ -f "$farm/base/system.reg" ] && exit 0
    rm -rf "$farm/base.new"
    WINEPREFIX="$farm/base.new" timeout -k 10 120 wine cmd /c exit >/dev/null 2>&1 &&
        WINEPREFIX="$farm/base.new" timeout 30 wineserver -w && mv "$farm/base.new" "$farm/base"
) 9>"$farm/lock"
[ -f "$farm/base/system.reg" ] || { say "Wine did not make a prefix in $farm/base within 120 s"; exit 2; }

sweep "$owner"  # a run of this task that was killed whole
copy="$farm/$owner"
export WINEPREFIX="$copy" VLM_TEMP_OWNER="$owner"
printf '%s\n%s' "$WINEPREFIX" "$folders" > "$owners/$owner"
cp -al "$farm/base" "$WINEPREFIX" || { say "cannot copy the prefix $farm/base to $WINEPREFIX"; finish 2; }

# The task's own Wine server, started here so that it can be watched.
# It works in a folder named after the prefix's device and inode.
server_pid() {
    sd="/server-$(stat -c '%d %i' "$WINEPREFIX" | awk '{ printf "%x-%x", $1, $2 }')"
    for p in /proc/[0-9]*; do
        case "$(cat "$p/comm" 2>/dev/null) $(readlink "$p/cwd" 2>/dev/null)" in
            "wineserver"*" "*"$sd") echo "${p#/proc/}"; return ;;
        esac
    done
}
wineserver -p 30 >/dev/null 2>&1
server=
timeout -k 10 120 wine cmd /c exit >/dev/null 2>&1 && server=$(server_pid)
if [ -z "$server" ]; then
    say "Wine did not start in $WINEPREFIX within 120 s"
    finish 2
fi

# The stop is passed on from the loop, once minihost has run a second: a
# Ctrl-C that reaches a Wine program before its first instruction ends it
# with status 0.
# Times in hundredths of a second since boot: a whole-second clock would
# hold the stop back up to a second more.
centis() { read -r up _ < /proc/uptime; echo "${up%.*}${up#*.}"; }
stopping=0 status= sent=
trap 'stopping=$(centis)' TERM INT
started=$(centis)
( trap '' TERM; exec wine "$@" ) &
pid=$!
while kill -0 "$pid" 2>/dev/null; do
    sleep 0.2
    now=$(centis)
    if [ "$stopping" -gt 0 ] && [ -z "$sent" ] && [ $((now - started)) -ge 100 ]; then
        kill -INT "$pid" 2>/dev/null
        sent=1
    elif [ "$stopping" -gt 0 ] && [ $((now - stopping)) -ge $((${VLM_FARM_GRACE:-5} * 100)) ]; then
        say "minihost did not stop within ${VLM_FARM_GRACE:-5} s of SIGTERM: killed"
        kill -9 "$pid" 2>/dev/null
        status=4
    elif [ ! -d "/proc/$server" ] && kill -0 "$pid" 2>/dev/null; then
        sleep 2
        kill -0 "$pid" 2>/dev/null || break
        say "the Wine server of $WINEPREFIX ended under minihost: minihost killed; its temporaries go at the task's re-run or the job's end"
        kill -9 "$pid" 2>/dev/null
        status=3
    fi
done
wait "$pid"
rc=$?
[ -n "$status" ] || case "$rc" in
    0 | 2 | 3 | 4 | 5) status=$rc ;;
    *)  status=3; [ "$stopping" -eq 0 ] || status=4
        say "minihost ended with status $rc, not one of its table's: counted as $status" ;;
esac
finish "$status"
