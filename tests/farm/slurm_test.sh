#!/bin/sh
# The README's farm section on a one-machine Slurm cluster: a 60-frame
# sequence in two tasks of 30, stopped by scancel, run again with a frame
# made to fail, then once more with it mended. Exits 77 (skipped) without
# root or where Slurm does not start.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
[ "$(id -u)" -eq 0 ] || { echo "skipped: the Slurm daemons need root"; exit 77; }
tmp=$(mktemp -d)
export VLM_FARM_DIR="$tmp/farm" VLM_FARM_PORT=6827 SLURM_CONF="$tmp/farm/slurm.conf"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C
# A task's Wine server ends by itself shortly after the task.
wine_gone() { for t in 1 31; do WINEPREFIX="$tmp/wine-task-$t" timeout 30 wineserver -w || true; done; }
trap '"$root/scripts/farm_local.sh" stop; wine_gone; rm -rf "$tmp"' EXIT
if ! "$root/scripts/farm_local.sh" start >"$tmp/start.log" 2>&1; then
    echo "skipped: Slurm cannot start here: $(head -n 1 "$tmp/start.log")"
    exit 77
fi
fail() {
    echo "farm: $1" >&2
    for log in "$tmp"/log/*.out; do [ ! -f "$log" ] || sed "s|^|  task ${log##*/}: |" "$log" >&2; done
    exit 1
}

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
for i in $(seq 4 60); do
    ln "$seq/shot_$(( (i - 1) % 3 + 1 )).png" "$seq/shot_$i.png"
    ln "$ids/ids_$(( (i - 1) % 3 + 1 )).png" "$ids/ids_$i.png"
done
# The last frame, cut short, fails until it is mended.
rm "$seq/shot_60.png"
head -c 5000 "$seq/shot_3.png" > "$seq/shot_60.png"
# Files in the output folder that no task made, a temporary's name among them.
echo "another run's" > "$out/~minihost-999999-1-0.tmp"
cp "$tmp/ref/1.png" "$out/shot_99.png"
cp "$out/~minihost-999999-1-0.tmp" "$out/shot_99.png" "$tmp/"

# The job: the README's command, one task a range of 30 frames, each task
# with its own Wine prefix below $tmp.
submit() {
    WINEPREFIX="$tmp/wine" timeout -k 5 120 sbatch --parsable --array=1-60:30 --time=2 \
        --output="$tmp/log/%a.out" "$@" "$root/scripts/farm_task.sh" "$host" render "$seq/shot_#.png" \
        --out "$out/shot_#.png" --config "$tmp/s.cfg" --object-ids "$ids/ids_#.png" --skip-existing
}
states() {  # each task of job $1: "ArrayTaskId JobState ExitCode "
    scontrol -o show job "$1" | awk '{ for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
        print v["ArrayTaskId"], v["JobState"], v["ExitCode"] }' | sort -n | tr '\n' ' '
}
frames() { ls "$out" | grep -E '^shot_[0-9]+\.png$' | grep -vx shot_99.png || true; }
inodes() { for f in $(frames); do echo "$f $(stat -c %i "$out/$f")"; done | sort; }
check_frames() {  # every output whole and equal to its frame filtered alone
    for f in $(frames); do
        i=${f#shot_}; i=${i%.png}
        cmp -s "$out/$f" "$tmp/ref/$(( (i - 1) % 3 + 1 )).png" || fail "$f differs from its frame filtered alone"
    done
    left=$(ls -A "$out" | grep -v '^~minihost-999999-1-0.tmp$' | grep '^~' | tr '\n' ' ' || true)
    [ -z "$left" ] || fail "left behind: $left"
}

# Stop: scancel once both tasks have written frames.
job=$(submit)
n=0
until frames | grep -qE '^shot_([1-9]|[12][0-9]|30)\.png$' && frames | grep -qE '^shot_(3[1-9]|[45][0-9]|60)\.png$'; do
    [ -n "$(squeue -h -j "$job" 2>/dev/null)" ] || fail "the job ended before both tasks wrote a frame: $(states "$job")"
    n=$((n + 1)); [ $n -le 600 ] || fail "no frames from both tasks within 60 s"; sleep 0.1
done
scancel "$job"
n=0
while [ -n "$(squeue -h -j "$job" 2>/dev/null)" ]; do
    n=$((n + 1)); [ $n -le 300 ] || fail "job $job not gone 30 s after scancel"; sleep 0.1
done
wine_gone
states "$job" | grep -q CANCELLED || fail "scancel: tasks $(states "$job")"
check_frames
[ "$(frames | wc -l)" -lt 59 ] || fail "scancel came after the job's end: no stop tested"
inodes > "$tmp/stopped"

# Failure: frame 60 fails its task, and only its task, with status 2.
job=$(submit --wait) || true
[ "$(states "$job")" = "1 COMPLETED 0:0 31 FAILED 2:0 " ] || fail "one frame failed: tasks $(states "$job")"
grep -q 'shot_60.png' "$tmp/log/31.out" || fail "task 31's log does not name shot_60.png"
check_frames
[ "$(frames | wc -l)" -eq 59 ] && [ ! -e "$out/shot_60.png" ] || fail "after one frame failed: $(frames | wc -l) frames"
inodes > "$tmp/failed"
[ -z "$(comm -13 "$tmp/failed" "$tmp/stopped")" ] || fail "resume rewrote whole frames"

# Resume: mended, the same job writes frame 60 alone.
rm "$seq/shot_60.png"
ln "$seq/shot_3.png" "$seq/shot_60.png"
job=$(submit --wait) || fail "mended: tasks $(states "$job")"
[ "$(states "$job")" = "1 COMPLETED 0:0 31 COMPLETED 0:0 " ] || fail "mended: tasks $(states "$job")"
check_frames
[ "$(frames | wc -l)" -eq 60 ] || fail "mended: $(frames | wc -l) frames"
inodes > "$tmp/mended"
[ "$(comm -23 "$tmp/mended" "$tmp/failed" | cut -d' ' -f1)" = shot_60.png ] || fail "resume wrote more than frame 60"
for f in "~minihost-999999-1-0.tmp" shot_99.png; do
    cmp -s "$tmp/$f" "$out/$f" || fail "$f, which no task made, was changed or removed"
done

pids=$(cat "$VLM_FARM_DIR"/*.pid)
"$root/scripts/farm_local.sh" stop
for p in $pids; do [ ! -d "/proc/$p" ] || fail "daemon $p still running after stop"; done
echo "farm: stop, failure and resume on Slurm ok"
