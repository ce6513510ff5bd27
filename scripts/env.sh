# Sourced by the scripts: where things are and how Wine is to behave.
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
jobs=$(nproc 2>/dev/null || echo 2)
