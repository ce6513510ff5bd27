#!/bin/sh
# Runs a Windows test program with VLM_TINY_DIR naming a 16 KB disk mounted
# for it alone, so that a save can meet a full disk. Mounting needs root;
# without it the test is reported as skipped (status 77).
set -eu
tiny=$(mktemp -d)
if ! mount -t tmpfs -o size=16k tmpfs "$tiny" 2>/dev/null; then
    rmdir "$tiny"
    echo "cannot mount a small disk here (needs root): skipped"
    exit 77
fi
trap 'umount -l "$tiny"; rmdir "$tiny"' EXIT
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
VLM_TINY_DIR="Z:$(printf '%s' "$tiny" | tr / '\\')" timeout -k 5 100 wine "$@"
