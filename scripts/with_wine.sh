#!/bin/sh
# Runs a command once Wine runs programs for this prefix (started as
# start_wine in env.sh does it). Under xvfb-run, Wine's desktop is then made
# on that display: a server of this prefix still running from an earlier
# program (one without a display, or one whose display has gone) would keep
# its own desktop and show the command no window, so it is stopped first.
set -eu
. "$(dirname "$0")/env.sh"
stop_wine_server
start_wine
exec "$@"
