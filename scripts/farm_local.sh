#!/bin/sh
# A render farm of one machine: starts (or stops) munged, slurmctld and slurmd
# with a configuration, a munge key, state, logs and pid files all in one
# folder of their own (VLM_FARM_DIR, /tmp/vlm-farm by default). The
# configuration under /etc that the packages install is never read: the
# daemons and every Slurm command are pointed at this folder's slurm.conf.
# Needs root (the daemons run as root). A start that does not reach an idle
# node stops whatever it started and exits 1.
#
# The folder is the script's own only when it holds the marker the script
# wrote on making it: any other existing path is refused, never emptied. A
# farm already up is left as it is. Processes are tracked by cgroup where the
# machine mounts the v1 freezer, as a cluster tracks them, so that a cancel
# kills a task's Wine server as it would there.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
dir=${VLM_FARM_DIR:-/tmp/vlm-farm}
case "$dir" in /*) ;; *) dir="$(pwd)/$dir" ;; esac
marker="$dir/.velmora-farm"
# slurm.conf ends a value at a blank and a comment at #; the munge socket's
# option at a comma: such a path is refused rather than half read.
case "$dir" in
    *[!A-Za-z0-9._/+@%:~-]*)
        echo "farm_local: VLM_FARM_DIR '$dir' holds a blank or a character (#, comma, quote, =) that slurm.conf cannot hold: choose a plain path" >&2
        exit 1 ;;
esac
export SLURM_CONF="$dir/slurm.conf"

# The pid the daemon's own pid file names, if that process is the daemon.
pid_of() {
    pid=$(cat "$dir/$1.pid" 2>/dev/null) || pid=
    [ -n "$pid" ] && [ "$(cat /proc/"$pid"/comm 2>/dev/null)" = "$1" ] && echo "$pid"
}

# True when the folder is one this script made.
ours() { [ -d "$dir" ] && [ ! -L "$dir" ] && [ -f "$marker" ]; }

running() { [ -n "$(pid_of slurmctld)$(pid_of slurmd)$(pid_of munged)" ]; }

stop() {
    ours || return 0  # nothing of ours is there to stop
    if [ -n "$(pid_of slurmctld)" ]; then
        # A task's processes outlive slurmd: cancel every job first.
        timeout 10 scancel --quiet --partition=farm 2>/dev/null || true
        n=0
        while [ $n -lt 30 ] && [ -n "$(timeout 5 squeue -h -o %i 2>/dev/null)" ]; do
            sleep 0.5
            n=$((n + 1))
        done
    fi
    # slurmd says goodbye to slurmctld through munge, so it goes first.
    halt slurmd
    halt slurmctld munged
}

# Signals each daemon by the pid its own pid file names, then waits for all.
halt() {
    pids=
    for d in "$@"; do
        pid=$(pid_of "$d") && kill "$pid" 2>/dev/null && pids="$pids $pid"
        rm -f "$dir/$d.pid"
    done
    for pid in $pids; do
        n=0
        while [ -d /proc/"$pid" ] && [ $n -lt 50 ]; do sleep 0.1; n=$((n + 1)); done
        [ ! -d /proc/"$pid" ] || kill -9 "$pid" 2>/dev/null || true
    done
}

fail() {
    echo "farm_local: $1" >&2
    for log in munged slurmctld slurmd; do
        [ ! -s "$dir/$log.log" ] || tail -n 3 "$dir/$log.log" | sed "s/^/  $log: /" >&2
    done
    stop
    exit 1
}

start() {
    [ "$(id -u)" -eq 0 ] || { echo "farm_local: the daemons need root" >&2; exit 1; }
    if [ -e "$dir" ] || [ -L "$dir" ]; then
        ours || { echo "farm_local: $dir exists and is not a farm folder made by this script (no $(basename "$marker")): nothing changed" >&2; exit 1; }
        if running; then
            echo "farm: already running in $dir; nothing changed; export SLURM_CONF=$SLURM_CONF"
            exit 0
        fi
        # A farm of ours that was stopped: its own parts only, by name.
        rm -rf "$dir/state" "$dir/spool" "$dir/munge" "$dir/slurm.conf" "$dir/cgroup.conf"
    fi
    pkgs=
    for p in slurmctld slurmd slurm-client munge; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || pkgs="$pkgs $p"
    done
    if [ -n "$pkgs" ]; then
        # shellcheck disable=SC2086 # one word a package
        sh "$here/apt_install.sh" $pkgs || { echo "farm_local: cannot install$pkgs" >&2; exit 1; }
    fi
    if [ ! -e "$dir" ]; then
        mkdir -p "$dir"
        echo "a render farm's folder, made by farm_local.sh; its start and stop change this folder only" > "$marker"
    fi
    mkdir -p "$dir/state" "$dir/spool" "$dir/munge"
    chmod 755 "$dir" "$dir/munge"
    trap 'fail "interrupted"' INT TERM
    node=$(hostname -s)
    proctrack=proctrack/linuxproc
    if [ -d /sys/fs/cgroup/freezer ] && [ -z "${VLM_FARM_NO_CGROUP:-}" ]; then
        proctrack=proctrack/cgroup
        printf 'CgroupPlugin=cgroup/v1\nCgroupMountpoint=/sys/fs/cgroup\n' > "$dir/cgroup.conf"
    else
        echo "farm_local: no cgroup v1 freezer under /sys/fs/cgroup: tasks tracked by proctrack/linuxproc, which a detached Wine server escapes" >&2
    fi
    cat > "$SLURM_CONF" <<EOF
ClusterName=velmora
SlurmctldHost=$node
SlurmUser=root
SlurmdUser=root
SlurmctldPort=${VLM_FARM_PORT:-6817}
SlurmdPort=$(( ${VLM_FARM_PORT:-6817} + 1 ))
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$dir/munge/socket
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
ProctrackType=$proctrack
Epilog=$here/farm_task.sh
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SlurmdParameters=config_overrides
ReturnToService=2
KillWait=10
NodeName=$node CPUs=$(nproc) State=UNKNOWN
PartitionName=farm Nodes=$node Default=YES MaxTime=INFINITE State=UP
EOF
    mungekey --create --keyfile="$dir/munge/key" >/dev/null 2>&1 || fail "mungekey could not make a key"
    munged --socket="$dir/munge/socket" --key-file="$dir/munge/key" --pid-file="$dir/munged.pid" \
        --log-file="$dir/munged.log" --seed-file="$dir/munge/seed" --force 2>>"$dir/munged.log" ||
        fail "munged did not start"
    slurmctld -f "$SLURM_CONF" 2>>"$dir/slurmctld.log" || fail "slurmctld did not start"
    slurmd -f "$SLURM_CONF" 2>>"$dir/slurmd.log" || fail "slurmd did not start"
    n=0
    until [ "$(timeout 5 sinfo -h -n "$node" -o %T 2>/dev/null)" = idle ]; do
        n=$((n + 1))
        # A daemon writes its pid file once it has forked: looked at after 1 s.
        for d in munged slurmctld slurmd; do
            [ $n -lt 2 ] || [ -n "$(pid_of $d)" ] || fail "$d stopped"
        done
        [ $n -le 60 ] || fail "node $node not idle after 30 s"
        sleep 0.5
    done
    trap - INT TERM
    echo "farm: node $node idle with $(nproc) cores, $proctrack; export SLURM_CONF=$SLURM_CONF"
}

case "${1:-}" in
    start) start ;;
    stop) stop ;;
    *) echo "usage: $0 start|stop" >&2; exit 2 ;;
esac
