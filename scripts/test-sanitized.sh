#!/usr/bin/env bash
# The core tests under AddressSanitizer + UndefinedBehaviorSanitizer, and the
# multi-band tests under ThreadSanitizer, each in a build folder of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
common=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLIMMER_BUILD_DESKTOP=OFF -DGLIMMER_BUILD_BENCHMARKS=OFF)

cmake -S . -B build-asan "${common[@]}" -DGLIMMER_SANITIZE=address,undefined
cmake --build build-asan -j"$(nproc)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --no-tests=error -L core -j"$(nproc)" --output-on-failure

cmake -S . -B build-tsan "${common[@]}" -DGLIMMER_SANITIZE=thread
cmake --build build-tsan -j"$(nproc)"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --no-tests=error -L multiband -j"$(nproc)" --output-on-failure
