#!/usr/bin/env bash
# Times marrowvale against sox (a reference peer) on two 5-minute stereo
# conversions, in one run on the same machine:
#   44.1 kHz 16-bit -> 48 kHz 16-bit
#   96 kHz 24-bit   -> 44.1 kHz 24-bit
# Prints wall and CPU time medians, their ratios, and peak memory.
#   bench/compare_peers.sh [SECONDS] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
runs=${2:-5}

bash scripts/install-deps.sh sox hyperfine time
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$(nproc)" --target marrowvale make_example_wav >/dev/null

work=$(mktemp -d /tmp/marrowvale_peers_XXXXXX)
trap 'rm -rf "$work"' EXIT
./build/release/make_example_wav "$work/cd.wav" "$seconds" 44100 16
./build/release/make_example_wav "$work/hires.wav" "$seconds" 96000 24

mv=./build/release/marrowvale
declare -A commands=(
  [mv_48k]="$mv $work/cd.wav -o $work/mv -s 48000 -b 16"
  [sox_48k]="sox -D $work/cd.wav -b 16 $work/sox_48k.wav rate -h 48000"
  [mv_441k]="$mv $work/hires.wav -o $work/mv -s 44100 -b 24"
  [sox_441k]="sox -D $work/hires.wav -b 24 $work/sox_441k.wav rate -h 44100"
)

measure() { # name -> "wall_median user_median+system_median peak_kib"
  local name=$1
  hyperfine --style none --warmup 1 --runs "$runs" --export-json "$work/$name.json" \
    "${commands[$name]}" >/dev/null 2>&1
  local peak
  peak=$( /usr/bin/time -f '%M' -o "$work/$name.mem" ${commands[$name]} >/dev/null 2>&1; cat "$work/$name.mem")
  python3 - "$work/$name.json" "$peak" <<'PY'
import json, statistics, sys
r = json.load(open(sys.argv[1]))["results"][0]
print(statistics.median(r["times"]), r["user"] + r["system"], sys.argv[2])
PY
}

results=()
for name in mv_48k sox_48k mv_441k sox_441k; do
  results+=("$name $(measure "$name")")
done
python3 - "$seconds" "${results[@]}" <<'PY'
import sys
seconds = sys.argv[1]
rows = {}
for line in sys.argv[2:]:
    name, wall, cpu, peak = line.split()
    rows[name] = (float(wall), float(cpu), float(peak) / 1024)
labels = {"48k": "44.1k/16 -> 48k/16", "441k": "96k/24 -> 44.1k/24"}
print(f"{'conversion (' + seconds + ' s stereo)':34} {'wall s':>8} {'cpu s':>8} {'peak MiB':>9}")
for pair, label in labels.items():
    m, s = rows["mv_" + pair], rows["sox_" + pair]
    print(f"{'marrowvale ' + label:34} {m[0]:8.3f} {m[1]:8.3f} {m[2]:9.1f}")
    print(f"{'sox -D rate -h ' + label:34} {s[0]:8.3f} {s[1]:8.3f} {s[2]:9.1f}")
    print(f"{'  ratio marrowvale / sox':34} {m[0] / s[0]:8.2f} {m[1] / s[1]:8.2f}")
PY
