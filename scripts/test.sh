#!/usr/bin/env bash
# Builds the project and runs every test.
#   scripts/test.sh              optimised build with warnings as errors
#   scripts/test.sh --sanitize   Debug build under AddressSanitizer + UBSan,
#                                run twice: with the resampler kernel the
#                                processor picks, and with the portable one
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
# Filter-response and planner tests that run for minutes under ThreadSanitizer
# and use one thread only.
tsan_excluded='PolyphaseExtremeRates|FarApartAndAwkwardRates|SteepFilter|SteepResample|PolyphaseResample|PolyphaseKernel|PolyphaseSignal|DesignedSearch|SteepSearch|IntegerRequantiser|NoiseShaping'
if [ "${1:-}" = "--sanitize" ]; then
  build=build/asan
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DMARROWVALE_SANITIZE=ON \
        -DMARROWVALE_WERROR=ON -DMARROWVALE_BUILD_BENCH=OFF
  cmake --build "$build" -j "$jobs"
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  echo "== sanitizers, the processor's resampler kernel"
  ctest --test-dir "$build" --output-on-failure -j "$jobs"
  echo "== sanitizers, the portable resampler kernel"
  MARROWVALE_GENERIC_KERNEL=1 ctest --test-dir "$build" --output-on-failure -j "$jobs"
elif [ "${1:-}" = "--tsan" ]; then
  # ThreadSanitizer: the tests (but the heaviest single-threaded filter
  # checks, which take minutes instrumented and share no data between
  # threads), then a batch of four jobs stopped by SIGTERM halfway, which must
  # end with status 130, leave no temporary file and no report.
  build=build/tsan
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARROWVALE_TSAN=ON \
        -DMARROWVALE_WERROR=ON -DMARROWVALE_BUILD_BENCH=OFF
  cmake --build "$build" -j "$jobs"
  # No pause at exit (a second by default): stopped runs must end within one.
  export TSAN_OPTIONS=halt_on_error=1:exitcode=66:second_deadlock_stack=1:atexit_sleep_ms=0
  echo "== ThreadSanitizer, the tests"
  ctest --test-dir "$build" --output-on-failure -j "$jobs" -E "$tsan_excluded"
  echo "== ThreadSanitizer, a batch of four jobs stopped by SIGTERM"
  bash scripts/stopped_batch.sh "$build/marrowvale"
else
  build=build/release
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DMARROWVALE_WERROR=ON
  cmake --build "$build" -j "$jobs"
  ctest --test-dir "$build" --output-on-failure -j "$jobs"
fi
