#!/usr/bin/env bash
# Builds the two libFuzzer targets with clang and runs each for a while, as
# the CTest cases labelled "fuzz".
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
# New corpus entries go to build/fuzz/corpus; crashes to build/fuzz/findings.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

bash scripts/install-deps.sh clang libclang-rt-14-dev
build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMARROWVALE_FUZZ=ON -DMARROWVALE_FUZZ_SECONDS="$seconds" \
  -DMARROWVALE_BUILD_TESTS=OFF -DMARROWVALE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target WaveFileFuzz ConversionFuzz make_seed_corpus

status=0
ctest --test-dir "$build" -L fuzz -V >"$build/fuzz.log" 2>&1 || status=1
# Each target's last progress line and final counts, and the verdicts.
grep -E '(#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss_mb|Test +#)' \
  "$build/fuzz.log" | sed -E 's/^[0-9]+: //' || true
if [ $status -ne 0 ]; then
  tail -n 80 "$build/fuzz.log"
fi
exit $status
