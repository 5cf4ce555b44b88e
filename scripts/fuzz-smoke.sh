#!/usr/bin/env bash
# Builds the fuzz targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer)
# and runs each from its seed corpus for a short while (FUZZ_SECONDS, default 45).
# Fails on any crash, leak, time-out, broken promise or sanitizer report; the
# input that caused it is kept in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
seconds="${FUZZ_SECONDS:-45}"
build=build-fuzz
targets=(pnm_reader_fuzzer page_reader_fuzzer settings_fuzzer command_line_fuzzer driver_fuzzer)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DGLIMMER_BUILD_FUZZERS=ON -DGLIMMER_BUILD_DESKTOP=OFF -DGLIMMER_BUILD_TESTS=OFF \
  -DGLIMMER_BUILD_BENCHMARKS=OFF -DGLIMMER_SANITIZE=address,undefined
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

# The driver and settings targets write files for every input: keep them in memory where possible.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
artifacts="$PWD/$build/artifacts"
mkdir -p "$artifacts"

failed=0
for target in "${targets[@]}"; do
  options=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$artifacts/$target-")
  # Whole pages of up to 64 x 64 pixels; one slow page is not a hang.
  [ "$target" = driver_fuzzer ] && options+=(-max_len=4099 -timeout=60)
  mkdir "$work/$target"  # new inputs go here; the seed corpus stays as it is
  log="$work/$target.log"
  if "$build/fuzz/$target" "${options[@]}" "$work/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    coverage=$(grep -E '^#[0-9]+.*DONE' "$log" | grep -oE 'cov: [0-9]+ ft: [0-9]+' || true)
    echo "$target: $runs runs, $coverage"
  else
    failed=1
    echo "$target: FAILED; its log ends:"
    tail -n 60 "$log"
  fi
done
exit "$failed"
