#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what clang-format makes of it
# (.clang-format at the root). `clang-format -i FILE` mends one.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh clang-format
git ls-files '*.cpp' '*.hpp' | xargs clang-format --dry-run --Werror
echo "clang-format: all files formatted"
