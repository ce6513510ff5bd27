#!/bin/sh
# Builds the libFuzzer targets with clang into build/fuzz and runs each for
# FUZZ_SECONDS (default 20) on the corpus this machine has grown in earlier
# runs, kept outside the repo (VLM_FUZZ_CORPUS, default
# ${XDG_CACHE_HOME:-$HOME/.cache}/velmora-filter/fuzz), with the seeds in the
# repo added to it each time, so the corpus in the repo never grows. Prints
# executions and time per target; exits non-zero when a target crashes, hangs
# or leaks.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${FUZZ_SECONDS:-20}
build="$root/build/fuzz"
targets="filter_file filter_append tiff_decode convolve"
kept=${VLM_FUZZ_CORPUS:-${XDG_CACHE_HOME:-$HOME/.cache}/velmora-filter/fuzz}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DVLM_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
for t in $targets; do
    cmake --build "$build" -j2 --target "${t}_fuzz" >/dev/null
done
cmake --build "$build" -j2 --target tiff_seeds >/dev/null

work=$(mktemp -d)
# The targets write a scratch file per execution; memory is faster than disk.
scratch=$(mktemp -d /dev/shm/vlm_fuzz.XXXXXX 2>/dev/null || mktemp -d)
trap 'rm -rf "$work" "$scratch"' EXIT INT TERM

status=0
for t in $targets; do
    corpus="$kept/$t"
    mkdir -p "$corpus"
    if [ -d "$root/fuzz/corpus/$t" ]; then cp "$root/fuzz/corpus/$t"/* "$corpus"/; fi
    # The TIFF seeds are written by libtiff, not kept in the repo.
    if [ "$t" = tiff_decode ]; then "$build/bin/tiff_seeds" "$corpus"; fi
    # Without -max_len libFuzzer never grows an input past the largest seed,
    # and by default it lets the limit grow only slowly; the engine's 9x9
    # kernel of 32-bit weights with four routes takes about 450 bytes, more
    # than any seed, and a longer input costs it no more time.
    limit=
    if [ "$t" = convolve ]; then limit="-max_len=512 -len_control=0"; fi
    log="$work/$t.log"
    start=$(date +%s)
    # -timeout turns a reader that stops making progress into a reported hang.
    if TMPDIR="$scratch" "$build/bin/${t}_fuzz" -max_total_time="$seconds" -timeout=10 $limit \
        -print_final_stats=1 -artifact_prefix="$build/$t-" "$corpus" >"$log" 2>&1; then
        result=ok
    else
        result=FAILED
        status=1
        tail -n 40 "$log"
    fi
    elapsed=$(( $(date +%s) - start ))
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 || true)
    echo "$t: $result, ${execs:-?} executions in ${elapsed} s (${cov:-cov: ?}), corpus $(ls "$corpus" | wc -l) inputs"
done
exit $status
