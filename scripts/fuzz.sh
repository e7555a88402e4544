#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UndefinedBehaviorSanitizer) and runs
# each for a bounded time on its corpus in tests/fuzz/corpus/. Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCORVAMAT_FUZZ=ON -DCORVAMAT_BUILD_UI=OFF -DCORVAMAT_BUILD_TESTS=OFF -DCORVAMAT_BUILD_BENCH=OFF
cmake --build "$build" --parallel 2
for target in Hex Binary Settings Listing Step Cdb Session; do
  corpus=tests/fuzz/corpus/$target
  mkdir -p "$corpus"
  echo "== fuzz_$target for ${seconds}s"
  "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
    -print_final_stats=1 "$corpus" 2>&1 | grep -E "^(#|stat::number_of_executed_units|stat::peak_rss|==|SUMMARY|Done)" | tail -4
done
