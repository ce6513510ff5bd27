#!/bin/sh
# Runs a command once Wine runs programs for this prefix (started as
# start_wine in env.sh does it). Under xvfb-run, Wine's desktop is then made
# on that display.
set -eu
. "$(dirname "$0")/env.sh"
start_wine
exec "$@"
