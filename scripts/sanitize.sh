#!/usr/bin/env bash
# Builds and runs the test suite under sanitizers.
#   scripts/sanitize.sh asan   every test under AddressSanitizer + UndefinedBehaviorSanitizer
#   scripts/sanitize.sh tsan   the threaded tests (run thread, Synchronize, both threads storing)
#                              under ThreadSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen
for kind in "${@:-asan tsan}"; do
  case $kind in
    asan)
      cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
        -DCORVAMAT_ASAN=ON -DCORVAMAT_BUILD_BENCH=OFF
      cmake --build build-asan --parallel 2
      UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --test-dir build-asan --output-on-failure --parallel 2
      ;;
    tsan)
      cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
        -DCORVAMAT_TSAN=ON -DCORVAMAT_BUILD_UI=OFF -DCORVAMAT_BUILD_BENCH=OFF
      cmake --build build-tsan --parallel 2 --target core_tests corvamat-run
      TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/core/core_tests --gtest_filter='Threads*:RunThread*'
      ;;
    *) echo "unknown sanitizer $kind" >&2; exit 64 ;;
  esac
done
