#!/bin/sh
# The README's farm section on a one-machine Slurm cluster: a 250-frame
# sequence given once as --frames 1-250, in tasks of 60 (the last one
# 241-250),
# stopped by scancel, killed whole, run again with a frame made to fail, then
# once more with it mended. Exits 77 (skipped) without root or where Slurm
# does not start.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
[ "$(id -u)" -eq 0 ] || { echo "skipped: the Slurm daemons need root"; exit 77; }
tmp=$(mktemp -d)
export VLM_FARM_PORT=6827 SLURM_CONF="$tmp/farm/slurm.conf"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C
farm_local() {  # FOLDER (relative to $tmp) start|stop
    (cd "$tmp" && VLM_FARM_DIR=$1 "$root/scripts/farm_local.sh" "$2")
}
trap 'farm_local farm stop; rm -rf "$tmp"' EXIT
fail() {
    echo "farm: $1" >&2
    for log in "$tmp"/log/*.out; do [ ! -f "$log" ] || sed "s|^|  task ${log##*/}: |" "$log" >&2; done
    exit 1
}

# The farm script's folder rows: a folder of the user's, or a file, is kept
# whole; a path slurm.conf cannot hold is refused; both before anything runs.
mkdir "$tmp/mine" && echo "the user's" > "$tmp/mine/notes" && echo "a file" > "$tmp/plain"
for row in "mine|exists and is not a farm folder made by this script" "plain|exists and is not a farm folder" \
           "my farm|holds a blank or a character"; do
    ! farm_local "${row%%|*}" start >"$tmp/refused.log" 2>&1 || fail "start in ${row%%|*} was not refused"
    [ "$(wc -l < "$tmp/refused.log")" -eq 1 ] && grep -q "${row#*|}" "$tmp/refused.log" ||
        fail "start in ${row%%|*}: $(cat "$tmp/refused.log")"
done
[ "$(cat "$tmp/mine/notes")" = "the user's" ] && [ "$(ls -A "$tmp/mine")" = notes ] && [ "$(cat "$tmp/plain")" = "a file" ] ||
    fail "a refused start changed what it did not make"
[ ! -e "$tmp/my farm" ] || fail "a refused start made its folder"

# The task script's own failures: 2 and one line, before Wine is started.
for row in "|not a task of an array job" "1|the sequence's whole range once" "1|the sequence's whole range once|1-" \
           "1|the sequence's whole range once|1-240x2"; do
    id=${row%%|*} rest=${row#*|} says=${rest%%|*} range=${rest#*|}
    [ "$range" != "$rest" ] || range=
    rc=0
    SLURM_JOB_ID=${id:+9} SLURM_ARRAY_TASK_ID=$id WINEPREFIX="$tmp/none" sh "$root/scripts/farm_task.sh" \
        minihost.exe render "s_#.png" --out-dir "$tmp/o" ${range:+--frames "$range"} >"$tmp/task.log" 2>&1 || rc=$?
    [ $rc -eq 2 ] && [ "$(wc -l < "$tmp/task.log")" -eq 1 ] && grep -q "$says" "$tmp/task.log" ||
        fail "farm_task.sh with '$row': status $rc, $(cat "$tmp/task.log")"
done
[ ! -e "$tmp/none-farm" ] || fail "a refused task made a prefix"

# The farm itself, from a relative path; a second start changes nothing.
if ! farm_local farm start >"$tmp/start.log" 2>&1; then
    echo "skipped: Slurm cannot start here: $(head -n 1 "$tmp/start.log")"
    exit 77
fi
grep -q "^StateSaveLocation=$tmp/farm/state$" "$SLURM_CONF" || fail "the relative path was not made absolute"
export VLM_FARM_DIR="$tmp/farm"
pids=$(cat "$VLM_FARM_DIR"/*.pid)
farm_local farm start > "$tmp/again.log" 2>&1 || fail "a second start failed: $(cat "$tmp/again.log")"
grep -q "already running" "$tmp/again.log" && [ "$(cat "$VLM_FARM_DIR"/*.pid)" = "$pids" ] ||
    fail "a second start changed the running farm: $(cat "$tmp/again.log")"
cgroup=$(grep -q '^ProctrackType=proctrack/cgroup' "$SLURM_CONF" && echo 1 || true)

host="$root/build/win/bin/minihost.exe" seq="$tmp/seq" ids="$tmp/ids" out="$tmp/out"
mkdir -p "$seq" "$ids" "$out" "$tmp/ref" "$tmp/log"
timeout -k 5 60 wine "$host" config "$tmp/s.cfg" --row "-1 -1 -1" --row "-1 9 -1" --row "-1 -1 -1" \
    --source object --object-id 3 >/dev/null
for k in 1 2 3; do
    cp "$root/samples/sequence/shot_$k.png" "$seq/shot_$k.png"
    cp "$root/samples/sequence_ids/shot_$k.png" "$ids/ids_$k.png"
    timeout -k 5 60 wine "$host" render "$seq/shot_$k.png" "$tmp/ref/$k.png" --config "$tmp/s.cfg" \
        --object-ids "$ids/ids_$k.png" >/dev/null
done
for i in $(seq 4 250); do
    ln "$seq/shot_$(( (i - 1) % 3 + 1 )).png" "$seq/shot_$i.png"
    ln "$ids/ids_$(( (i - 1) % 3 + 1 )).png" "$ids/ids_$i.png"
done
# The last frame, cut short, fails until it is mended.
rm "$seq/shot_250.png"
head -c 5000 "$seq/shot_1.png" > "$seq/shot_250.png"
# Files in the output folder that no task made, a temporary's name among them.
echo "another run's" > "$out/~minihost-999999-1-0.tmp"
cp "$tmp/ref/1.png" "$out/shot_999.png"
cp "$out/~minihost-999999-1-0.tmp" "$out/shot_999.png" "$tmp/"

# The job: the README's command with the whole range once, one task a range
# of 60 frames, the node's Wine prefix below $tmp. A task of 60 frames
# outlasts the stop's way from scancel to minihost, so the stop rows meet a
# running render.
submit() {
    WINEPREFIX="$tmp/wine" timeout -k 5 120 sbatch --parsable --array=1-250:60 --time=3 \
        --output="$tmp/log/%a.out" "$@" "$root/scripts/farm_task.sh" "$host" render "$seq/shot_#.png" \
        --out "$out/shot_#.png" --config "$tmp/s.cfg" --object-ids "$ids/ids_#.png" --skip-existing --frames 1-250
}
gone() {  # waits for job $1 to leave the queue, its epilog done
    n=0
    while [ -n "$(squeue -h -j "$1" 2>/dev/null)" ]; do
        n=$((n + 1)); [ $n -le 300 ] || fail "job $1 not gone 30 s after its end"; sleep 0.1
    done
    sleep 1
}
started() {  # waits until job $1's first task has written a frame
    n=0
    until frames | grep -qE '^shot_([1-9]|[1-5][0-9]|60)\.png$'; do
        [ -n "$(squeue -h -j "$1" 2>/dev/null)" ] || fail "the job ended before its tasks wrote a frame: $(states "$1")"
        n=$((n + 1)); [ $n -le 900 ] || fail "no frames from the first task within 90 s"; sleep 0.1
    done
}
states() {  # each task of job $1: "ArrayTaskId JobState ExitCode "
    scontrol -o show job "$1" | awk '{ for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
        print v["ArrayTaskId"], v["JobState"], v["ExitCode"] }' | sort -n | tr '\n' ' '
}
frames() { ls "$out" | grep -E '^shot_[0-9]+\.png$' | grep -vx shot_999.png || true; }
inodes() { for f in $(frames); do echo "$f $(stat -c %i "$out/$f")"; done | sort; }
check_frames() {  # every output whole and equal to its frame filtered alone
    for f in $(frames); do
        i=${f#shot_}; i=${i%.png}
        cmp -s "$out/$f" "$tmp/ref/$(( (i - 1) % 3 + 1 )).png" || fail "$f differs from its frame filtered alone"
    done
    left=$(ls -A "$out" | grep -v '^~minihost-999999-1-0.tmp$' | grep '^~' | tr '\n' ' ' || true)
    [ -z "$left" ] || fail "left behind: $left"
}

# Stop: scancel once the first task has written a frame (the last waits for
# a core). A running task stops as at a Ctrl-C: its stop line, status 4,
# only whole frames left.
job=$(submit)
started "$job"
scancel "$job"
gone "$job"
# Tasks still pending are one record ("121,181,241 CANCELLED"): every record cancelled.
! states "$job" | grep -qE 'COMPLETED|FAILED|RUNNING|PENDING' && states "$job" | grep -q '^1 CANCELLED' ||
    fail "scancel: tasks $(states "$job")"
grep -q "^minihost: render stopped at line [0-9]* of .* (by Ctrl-C)" "$tmp/log/1.out" ||
    fail "task 1 has no stop line after scancel"
scontrol -o show job "$job" | grep -q 'ArrayTaskId=1 .*ExitCode=4:0' || fail "task 1 did not exit 4: $(states "$job")"
check_frames
[ "$(frames | wc -l)" -lt 249 ] || fail "scancel came after the job's end: no stop tested"

# SIGTERM to every process of the task, minihost's own included, as a
# scheduler may send it: still the stop, not the end by the signal.
rm -f "$tmp"/log/*.out
job=$(submit)
n=0
until grep -q '^wrote' "$tmp/log/1.out" 2>/dev/null; do
    n=$((n + 1)); [ $n -le 900 ] || fail "task 1 wrote no frame within 90 s: $(states "$job")"; sleep 0.1
done
# scancel's own status may be non-zero here (229 was seen) while the signal
# went; what is checked is what the task did with it.
scancel --full --signal=TERM "${job}_1" || true
n=0
until scontrol -o show job "$job" | grep -q 'ArrayTaskId=1 .*JobState=FAILED'; do
    n=$((n + 1)); [ $n -le 300 ] || fail "SIGTERM to every process: $(states "$job")"; sleep 0.1
done
scancel "$job"
gone "$job"
grep -q "^minihost: render stopped at line [0-9]* of .* (by Ctrl-C)" "$tmp/log/1.out" ||
    fail "SIGTERM to every process: task 1 has no stop line"
scontrol -o show job "$job" | grep -q 'ArrayTaskId=1 .*ExitCode=4:0' || fail "SIGTERM to every process: $(states "$job")"
check_frames

# Killed whole, as a lost node or a cgroup's kill leaves a task: every process
# of task 1, its Wine server too, at once. Its epilog removes its temporaries;
# the requeue then finishes it.
if [ -n "$cgroup" ]; then
    job=$(submit)
    n=0
    until task=$(squeue -h -j "$job" -o '%i %A' | awk '$1 == "'"$job"'_1" { print $2 }') &&
          procs=$(echo /sys/fs/cgroup/freezer/slurm*/uid_0/job_$task/step_batch/cgroup.procs) &&
          [ -f "$procs" ] && grep -q . "$procs" && [ -n "$(ls -A "$out" | grep "^~minihost-slurm$task-" || true)" ]; do
        n=$((n + 1)); [ $n -le 900 ] || fail "task 1 of job $job made no temporary within 90 s"; sleep 0.1
    done
    for p in $(cat "$procs"); do
        [ "$(cat "/proc/$p/comm" 2>/dev/null)" = slurmstepd ] || kill -9 "$p" 2>/dev/null || true
    done
    gone "$job"
    left=$(ls -A "$out" | grep '^~minihost-slurm' | tr '\n' ' ' || true)
    [ -z "$left" ] || fail "a task killed whole left, after its job's end: $left"
    scontrol requeue "$task" >/dev/null 2>&1 || fail "task $task could not be requeued"
    # A requeued job waits two minutes to start by default.
    scontrol update JobId="$task" StartTime=now >/dev/null 2>&1 || true
    n=0
    until [ "$(scontrol -o show job "$task" | grep -o 'JobState=[A-Z]*')" = JobState=COMPLETED ]; do
        n=$((n + 1)); [ $n -le 1200 ] || fail "requeued task 1: $(states "$job")"; sleep 0.1
    done
    gone "$job"
    check_frames
fi
inodes > "$tmp/stopped"

# Failure: frame 250 fails its task, and only its task, with status 2; the
# last task stops at frame 250, failing no frame past it.
job=$(submit --wait) || true
[ "$(states "$job")" = "1 COMPLETED 0:0 61 COMPLETED 0:0 121 COMPLETED 0:0 181 COMPLETED 0:0 241 FAILED 2:0 " ] || fail "one frame failed: tasks $(states "$job")"
grep -q 'shot_250.png' "$tmp/log/241.out" || fail "task 241's log does not name shot_250.png"
! grep -q 'shot_25[1-9]' "$tmp/log/241.out" || fail "task 241 went past the range's end: $(cat "$tmp/log/241.out")"
check_frames
[ "$(frames | wc -l)" -eq 249 ] && [ ! -e "$out/shot_250.png" ] || fail "after one frame failed: $(frames | wc -l) frames"
inodes > "$tmp/failed"
[ -z "$(comm -13 "$tmp/failed" "$tmp/stopped")" ] || fail "resume rewrote whole frames"

# Resume: mended, the same job writes frame 250 alone.
rm "$seq/shot_250.png"
ln "$seq/shot_1.png" "$seq/shot_250.png"
job=$(submit --wait) || fail "mended: tasks $(states "$job")"
[ "$(states "$job")" = "1 COMPLETED 0:0 61 COMPLETED 0:0 121 COMPLETED 0:0 181 COMPLETED 0:0 241 COMPLETED 0:0 " ] || fail "mended: tasks $(states "$job")"
check_frames
[ "$(frames | wc -l)" -eq 250 ] || fail "mended: $(frames | wc -l) frames"
inodes > "$tmp/mended"
[ "$(comm -23 "$tmp/mended" "$tmp/failed" | cut -d' ' -f1)" = shot_250.png ] || fail "resume wrote more than frame 250"
for f in "~minihost-999999-1-0.tmp" shot_999.png; do
    cmp -s "$tmp/$f" "$out/$f" || fail "$f, which no task made, was changed or removed"
done

[ -z "$(ls "$tmp/wine-farm" | grep -v '^base$' | grep -v '^lock$' || true)" ] ||
    fail "tasks left their prefixes: $(ls "$tmp/wine-farm")"

farm_local farm stop
for p in $pids; do [ ! -d "/proc/$p" ] || fail "daemon $p still running after stop"; done
echo "farm: the folder's rows, stop, kill, failure and resume on Slurm ok${cgroup:+ (proctrack/cgroup)}"
