#!/usr/bin/env bash
# Builds the libFuzzer targets of the pure logic with clang and runs each one for a while (default
# 30 s each) from the committed seed corpus in fuzz/corpus. New inputs go to build-fuzz/corpus, a
# failing input to build-fuzz/. Exits non-zero when a target finds a fault.
#   bash scripts/fuzz.sh [seconds per target]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
VESK_WITH_CLANG=1 bash scripts/setup.sh
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESK_FUZZ=ON -DVESK_WERROR=ON
cmake --build build-fuzz

status=0
for target in receive numeric frames; do
    mkdir -p "build-fuzz/corpus/$target"
    echo "== fuzz_$target (${seconds} s)"
    if ! "build-fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
            -artifact_prefix=build-fuzz/ "build-fuzz/corpus/$target" "fuzz/corpus/$target" \
            >"build-fuzz/fuzz_$target.log" 2>&1; then
        status=1
        tail -40 "build-fuzz/fuzz_$target.log"
    fi
    grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "build-fuzz/fuzz_$target.log" || true
done
exit $status
