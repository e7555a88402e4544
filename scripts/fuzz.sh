#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UndefinedBehaviorSanitizer) and runs
# each for a bounded time on its corpus in tests/fuzz/corpus/, then says how many inputs each ran.
# Needs clang with libFuzzer (Debian: apt-get install clang libclang-rt-14-dev), cmake and ninja-build.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(Hex Binary Settings Listing Step Inputs Cdb Dap Session)
if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz.sh needs clang with libFuzzer: apt-get install clang libclang-rt-14-dev" >&2
  exit 1
fi
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCORVAMAT_FUZZ=ON -DCORVAMAT_BUILD_UI=OFF -DCORVAMAT_BUILD_TESTS=OFF -DCORVAMAT_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel 2 --target "${targets[@]/#/fuzz_}"
failed=0
for target in "${targets[@]}"; do
  corpus=tests/fuzz/corpus/$target
  log=$build/fuzz_$target.log
  mkdir -p "$corpus"
  status=0
  "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
    -print_final_stats=1 "$corpus" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  if [ $status -ne 0 ]; then
    grep -E "^(==|SUMMARY)" "$log" | head -5
    echo "fuzz_$target: FAILED after ${runs:-?} inputs (log: $log)"
    failed=1
  else
    echo "fuzz_$target: ${runs:-?} inputs in ${seconds}s"
  fi
done
exit $failed
