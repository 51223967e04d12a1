#!/usr/bin/env bash
# Builds the fuzz targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer into
# build/fuzz and runs each for a bounded time, starting from its seed corpus in fuzz/corpus
# (new inputs go to build/fuzz/corpus, findings to build/fuzz/artifacts). Prints one PASS or
# FAIL line per target and fails if any target found something.
#   scripts/fuzz.sh [seconds per target, default 60]
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build="$here/build/fuzz"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DKESTREL_BUILD_FUZZ=ON -DKESTREL_BUILD_GUI=OFF -DKESTREL_BUILD_TESTS=OFF \
    -DKESTREL_BUILD_BENCH=OFF -DKESTREL_WERROR=ON >/dev/null || exit 1
cmake --build "$build" -j"$(nproc)" --target fuzz_export_text fuzz_reg_file \
    fuzz_data_store_paths >/dev/null || exit 1
status=0
for target in export_text reg_file data_store_paths; do
    seeds="$here/fuzz/corpus/${target//_/-}"
    mkdir -p "$build/corpus/$target" "$build/artifacts"
    log="$build/$target.log"
    if "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$target-" "$build/corpus/$target" "$seeds" \
        >"$log" 2>&1; then
        runs=$(grep -Eo 'number_of_executed_units: *[0-9]+' "$log" | grep -Eo '[0-9]+$')
        echo "PASS fuzz_$target: ${runs:-?} inputs in $seconds s, no finding"
    else
        echo "FAIL fuzz_$target (log: $log)"
        grep -E 'ERROR|SUMMARY|runtime error|Test unit written' "$log" | head -10
        status=1
    fi
done
exit "$status"
