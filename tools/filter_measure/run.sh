#!/usr/bin/env bash
# Measures the converter's filters against sox and draws the figures.
#   tools/filter_measure/run.sh [--self-test] [filter_measure.py options]
# Installs what it needs (Debian's numpy, matplotlib, sox), builds the
# release binary when the default configurations need it, and runs the tool
# with Debian's python3, which is the one those packages install into.
set -euo pipefail
cd "$(dirname "$0")/../.."

bash scripts/install-deps.sh python3 python3-numpy python3-matplotlib sox >&2

if [[ " $* " != *" --self-test "* && " $* " != *" --config"* && " $* " != *" -h "* && " $* " != *" --help "* ]]; then
  cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/release -j 2 --target marrowvale >/dev/null
fi
exec /usr/bin/python3 tools/filter_measure/filter_measure.py "$@"
