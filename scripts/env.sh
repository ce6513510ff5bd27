# Sourced by the scripts: where things are and how Wine is to behave.
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
jobs=$(nproc 2>/dev/null || echo 2)

# Wine's name for an absolute path: the Unix root is drive Z. Spelled out
# rather than asked of winepath, which would start a Wine server of its own.
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# Every Wine run is bounded: a Wine start has been seen to print nothing and
# not finish (README, "If Wine does not finish"). A run that outlives its
# time is stopped and named, never waited for.
run_wine() {  # SECONDS PROGRAM [ARGUMENTS...]
    limit=$1
    shift
    rc=0
    timeout -k 10 "$limit" wine "$@" || rc=$?
    if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
        echo "wine $1 did not finish within $limit s: see README, \"If Wine does not finish\"" >&2
    fi
    return "$rc"
}

# Stops this prefix's Wine server and waits, boundedly, for it to go. A
# server keeps the desktop it was started with: one started without a
# display serves later runs no windows even when they have one, and
# "wineserver -w" alone waits as long as the server was asked to persist.
stop_wine_server() {
    wineserver -k 2>/dev/null || true
    timeout 30 wineserver -w 2>/dev/null || true
}

# The first program of a Wine server starts Wine's service processes, and
# they and the server keep that program's standard output and error for as
# long as the server lives: a reader of those pipes would wait for their end
# (README, "If Wine does not finish"). So Wine is warmed by a program whose
# output goes to /dev/null, and a bare "wineserver -p" is never started. The
# warm-up also waits out the prefix's preparation (wineboot); a start still
# waiting after 90 s is stopped, with its server, and made once more.
start_wine() {
    for try in 1 2; do
        timeout -k 10 90 wine cmd /c exit >/dev/null 2>&1 && return 0
        echo "Wine did not start within 90 s (try $try of 2): stopping its server" >&2
        stop_wine_server
    done
    echo "Wine does not start: see README, \"If Wine does not finish\"" >&2
    return 1
}
