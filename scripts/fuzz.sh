#!/usr/bin/env bash
# Builds the fuzz targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer into
# build/fuzz, then for each target:
#   1. replays the committed corpus in fuzz/corpus/<target> once (-runs=0): the same inputs on
#      every machine, so a failure here is reproducible from the commit alone;
#   2. fuzzes for a bounded time from that corpus. New inputs go to build/fuzz/corpus/<target>
#      (emptied each run, never committed by this script; copy an input worth keeping into
#      fuzz/corpus by hand), findings to build/fuzz/artifacts, and the line names the seed.
# Prints one PASS or FAIL line per step and target; fails if any step found something.
#   scripts/fuzz.sh [seconds of new inputs per target, default 30]
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
build="$here/build/fuzz"
targets=(export_text reg_file data_store_paths archive)
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DKESTREL_BUILD_FUZZ=ON -DKESTREL_BUILD_GUI=OFF -DKESTREL_BUILD_TESTS=OFF \
    -DKESTREL_BUILD_BENCH=OFF -DKESTREL_WERROR=ON >/dev/null || {
    echo "FAIL configuring the fuzz build"
    exit 1
}
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}" >"$build/build.log" 2>&1 || {
    echo "FAIL building the fuzz targets (log: $build/build.log)"
    tail -20 "$build/build.log"
    exit 1
}
rm -rf "$build/corpus" "$build/artifacts"
mkdir -p "$build/artifacts"
status=0

report() {  # PASS text, log, reproduce hint
    if [ "$4" -eq 0 ]; then
        echo "PASS $1"
    else
        echo "FAIL ${1%%:*}: found something (log: $2)"
        grep -E 'ERROR|SUMMARY|runtime error|Test unit written|Seed:' "$2" | head -10
        echo "    reproduce: $3"
        status=1
    fi
}

for target in "${targets[@]}"; do
    program="$build/fuzz/fuzz_$target"
    seeds="$here/fuzz/corpus/${target//_/-}"
    fresh="$build/corpus/$target"
    mkdir -p "$fresh"
    if [ -z "$(ls -A "$seeds" 2>/dev/null)" ]; then
        echo "FAIL fuzz_$target: no committed corpus in $seeds"
        status=1
        continue
    fi

    log="$build/$target-replay.log"
    result=0
    "$program" -runs=0 -timeout=10 -artifact_prefix="$build/artifacts/$target-" "$seeds" \
        >"$log" 2>&1 || result=$?
    report "fuzz_$target replay: $(find "$seeds" -type f | wc -l) committed inputs, no finding" \
        "$log" "$program -runs=0 $seeds" "$result"
    [ "$result" -eq 0 ] || continue

    log="$build/$target.log"
    result=0
    "$program" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$target-" "$fresh" "$seeds" >"$log" 2>&1 || result=$?
    seed=$(grep -Eo 'Seed: [0-9]+' "$log" | head -1 | grep -Eo '[0-9]+')
    runs=$(grep -Eo 'number_of_executed_units: *[0-9]+' "$log" | grep -Eo '[0-9]+$')
    report "fuzz_$target: ${runs:-?} new inputs in $seconds s (seed ${seed:-?}), no finding" \
        "$log" "$program $build/artifacts/$target-<file>" "$result"
done
exit "$status"
