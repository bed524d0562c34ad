#!/usr/bin/env bash
# Builds the two libFuzzer targets with clang and runs each for a while.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
# New corpus entries go to build/fuzz/corpus; crashes to build/fuzz/findings.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

bash scripts/install-deps.sh clang libclang-rt-14-dev
build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMARROWVALE_FUZZ=ON -DMARROWVALE_BUILD_TESTS=OFF -DMARROWVALE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target WaveFileFuzz ConversionFuzz make_seed_corpus

mkdir -p "$build/corpus/wave" "$build/corpus/conversion" "$build/findings"
"$build/fuzz/make_seed_corpus" "$build/corpus/wave" "$build/corpus/conversion"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for target in WaveFileFuzz:wave ConversionFuzz:conversion; do
  name=${target%%:*}
  corpus=${target##*:}
  echo "== $name for ${seconds}s"
  "$build/fuzz/$name" "$build/corpus/$corpus" -max_total_time="$seconds" -timeout=60 \
    -rss_limit_mb=2048 -artifact_prefix="$build/findings/$name-" -print_final_stats=1 \
    2>"$build/$name.log" || status=1
  grep -E '^(#[0-9]+.*(DONE|pulse)|stat::number_of_executed_units|stat::peak_rss_mb|.*cov: )' \
    "$build/$name.log" | tail -n 3 || true
  if [ $status -ne 0 ]; then
    tail -n 60 "$build/$name.log"
    break
  fi
done
exit $status
