#!/usr/bin/env bash
# Builds marrowvale and runs it. Once the converter exists this makes a short
# example recording and converts it; until then it shows the option listing.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release
cmake --build build/release -j "$(nproc 2>/dev/null || echo 2)" --target marrowvale
./build/release/marrowvale --help
