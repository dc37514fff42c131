#!/usr/bin/env bash
# Long runs of every libFuzzer target (tests/fuzz), MINUTES minutes each, one
# after the other:
#
#   scripts/fuzz.sh MINUTES        (fractions too: scripts/fuzz.sh 0.5)
#
# Builds the targets in the sanitizer build (preset asan) when they are
# missing or out of date. Each target starts from its kept corpus,
# tests/fuzz/corpus/TARGET, and its hand-made seeds, tests/fuzz/seeds/TARGET,
# with its word list, tests/fuzz/dicts/TARGET.dict, where it has one;
# what the run finds is merged back into the kept corpus, minimized, so it
# stays small enough to commit. Crashing inputs go to
# build/asan/fuzz-runs/TIME/TARGET/. Prints each target's executions and
# crashes; the exit status is 1 when any target crashed, 2 on a usage or
# build error.
#
# FUZZ_BUILD_JOBS sets the build's parallel jobs (default 1).
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2

usage() {
    echo "usage: $0 MINUTES (a positive number, e.g. 10 or 0.5)" >&2
    exit 2
}
[ $# -eq 1 ] || usage
[[ $1 =~ ^([0-9]+\.?[0-9]*|\.[0-9]+)$ ]] || usage
seconds=$(awk -v m="$1" 'BEGIN { s = int(m * 60 + 0.5); print (s < 1 ? 0 : s) }')
[ "$seconds" -ge 1 ] || usage

build=build/asan
fuzz_dir=tests/fuzz

# The sanitizer build with the fuzz targets, configured once.
if ! grep -qs '^LUMARET_FUZZ:BOOL=ON' $build/CMakeCache.txt; then
    echo "fuzz: configuring $build (preset asan)"
    cmake --preset asan >/dev/null || exit 2
fi
mapfile -t targets < <(cmake --build --preset asan --target help |
                       sed -nE 's/^(fuzz_[A-Za-z0-9_]+): phony$/\1/p' | sort)
if [ ${#targets[@]} -eq 0 ]; then
    echo "fuzz: no fuzz targets in $build" >&2
    exit 2
fi
echo "fuzz: building ${targets[*]}"
cmake --build --preset asan -j "${FUZZ_BUILD_JOBS:-1}" --target "${targets[@]}" >/dev/null ||
    { echo "fuzz: the build failed; run cmake --build --preset asan to see why" >&2; exit 2; }

# The same run-time settings as the sanitizer tier's tests.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp}

run_dir=$build/fuzz-runs/$(date +%Y%m%d-%H%M%S)
mkdir -p "$run_dir"
summary=()
failed=0

# Every program the build holds, the ones added later included.
for program in "$build/$fuzz_dir"/fuzz_*; do
    if [ ! -f "$program" ] || [ ! -x "$program" ]; then
        continue
    fi
    target=$(basename "$program")
    corpus=$fuzz_dir/corpus/$target
    seeds=$fuzz_dir/seeds/$target
    out=$run_dir/$target
    mkdir -p "$corpus" "$out"
    inputs=("$corpus")
    if [ -d "$seeds" ]; then
        inputs+=("$seeds")
    fi
    words=()
    if [ -f "$fuzz_dir/dicts/$target.dict" ]; then
        words=(-dict="$fuzz_dir/dicts/$target.dict")
    fi

    echo "fuzz: $target for ${seconds}s"
    "$program" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
        "${words[@]}" -artifact_prefix="$out/" "${inputs[@]}" >"$out/log" 2>&1
    executions=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$out/log" |
                 tail -n 1)
    crashes=$(find "$out" -maxdepth 1 -name 'crash-*' | wc -l)
    # Leaks, slow inputs and memory blow-ups are faults too.
    others=$(find "$out" -maxdepth 1 \( -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) |
             wc -l)

    # Keep what the run found, minimized: only inputs that add coverage.
    merged=$out/corpus
    mkdir -p "$merged"
    if "$program" -merge=1 -rss_limit_mb=2048 "$merged" "${inputs[@]}" >"$out/merge.log" 2>&1; then
        rm -rf "$corpus"
        mv "$merged" "$corpus"
    else
        echo "fuzz: $target: merging the corpus failed (see $out/merge.log); the corpus is kept"
    fi

    line=$(printf '%-22s executions %10s  crashes %d' "$target" "${executions:-?}" "$crashes")
    if [ "$others" -gt 0 ]; then
        line+=$(printf '  leaks/timeouts/out of memory %d' "$others")
    fi
    if [ "$crashes" -gt 0 ] || [ "$others" -gt 0 ] || [ -z "$executions" ]; then
        line+="  (see $out)"
        failed=1
    fi
    summary+=("$line")
done

echo
echo "fuzz: ${seconds}s per target; corpora in $fuzz_dir/corpus"
printf '%s\n' "${summary[@]}"
exit $failed
