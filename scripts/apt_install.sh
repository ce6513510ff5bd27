#!/bin/sh
# apt_install.sh [PACKAGE...]: refreshes apt's lists, then installs the
# packages given. A mirror caught mid-sync is an ordinary event, not a dead
# end: a failed refresh is tried again and then left as a warning, and an
# install that cannot be resolved (one architecture's libraries from the
# security suite, the other's from the release alone) is tried once more on
# the release's own suite for every architecture.
set -eu
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
trap 'rm -f "$log"' EXIT

tries=3
n=1
until $SUDO apt-get update -qq >/dev/null 2>"$log"; do
    if [ "$n" -ge "$tries" ]; then
        # apt's own words name the index; the script names no server.
        failed=$(sed -n 's/^[EW]: Failed to fetch \([^ ]*\).*/\1/p' "$log" | head -n1)
        echo "setup: warning: apt-get update failed $tries times (${failed:-$(tail -n1 "$log")}); going on with the package lists apt has" >&2
        break
    fi
    n=$((n + 1))
    sleep 10
done

[ $# -gt 0 ] || exit 0
$SUDO apt-get install -y -qq --no-install-recommends "$@" >/dev/null 2>"$log" && exit 0

codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
if [ -z "$codename" ]; then
    echo "setup: the install could not be resolved and /etc/os-release names no release to fall back on: $(tail -n1 "$log")" >&2
    exit 1
fi
echo "setup: security updates were not taken for this install: it could not be resolved across the architectures (likely a mirror mid-sync), so it comes from $codename itself" >&2
$SUDO apt-get install -y -qq --no-install-recommends -t "$codename" "$@" >/dev/null 2>"$log" && exit 0
echo "setup: the install could not be resolved, not even from $codename alone; the package mirror is likely mid-sync: run ./scripts/setup.sh again later ($(tail -n1 "$log"))" >&2
exit 1
