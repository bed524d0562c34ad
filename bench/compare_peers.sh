#!/usr/bin/env bash
# Times marrowvale against sox (a reference peer), in one run on the same
# machine, and prints medians of wall and CPU time, their ratios to sox, and
# peak memory:
#   stereo   5 min 44.1 kHz/16 -> 48 kHz/16
#   hires    5 min stereo 96 kHz/24 -> 44.1 kHz/24
#   mono     5 min 44.1 kHz/16 -> 48 kHz/16
#   six      1 min 6 channels 48 kHz/24 -> 44.1 kHz/24
#   batch    40 mono 10 s files 48 kHz/24 -> 44.1 kHz/16, against a serial
#            sox loop and against sox under xargs -P(cores)
#
#   bench/compare_peers.sh [SECONDS] [RUNS]        (default 300 and 5)
#   MARROWVALE_BASELINE=path/to/marrowvale bench/compare_peers.sh
#       also times another build of marrowvale, for before/after figures
#   CASES="stereo batch" bench/compare_peers.sh    runs only those cases
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
runs=${2:-5}
cases=${CASES:-"stereo hires mono six batch"}
baseline=${MARROWVALE_BASELINE:-}

bash scripts/install-deps.sh sox hyperfine time >/dev/null
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$(nproc)" --target marrowvale make_example_wav >/dev/null
cores=$(nproc)

work=$(mktemp -d /tmp/marrowvale_peers_XXXXXX)
trap 'rm -rf "$work"' EXIT
make_wav=./build/release/make_example_wav
mv=$(realpath ./build/release/marrowvale)

echo "CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $cores cores," \
  "$(grep -m1 -o 'avx512f' /proc/cpuinfo || echo 'no AVX-512')"

# name -> input preparation, and the options of each tool
declare -A inputs=(
  [stereo]="$make_wav $work/stereo.wav $seconds 44100 16 2"
  [hires]="$make_wav $work/hires.wav $seconds 96000 24 2"
  [mono]="$make_wav $work/mono.wav $seconds 44100 16 1"
  [six]="$make_wav $work/six.wav 60 48000 24 6"
)
declare -A mv_options=([stereo]="-s 48000 -b 16" [hires]="-s 44100 -b 24"
  [mono]="-s 48000 -b 16" [six]="-s 44100 -b 24" [batch]="-s 44100 -b 16")
declare -A sox_options=([stereo]="-b 16 OUT rate -h 48000" [hires]="-b 24 OUT rate -h 44100"
  [mono]="-b 16 OUT rate -h 48000" [six]="-b 24 OUT rate -h 44100"
  [batch]="-b 16 OUT rate -h 44100")

results=()
measure() { # label command -> one line "label wall cpu peak"
  local label=$1 command=$2
  hyperfine --style none --warmup 1 --runs "$runs" --export-json "$work/t.json" \
    --prepare "rm -rf $work/out; mkdir -p $work/out" "$command" >/dev/null 2>&1
  rm -rf "$work/out"; mkdir -p "$work/out"
  /usr/bin/time -f '%M' -o "$work/mem" bash -c "$command" >/dev/null 2>&1
  results+=("$label $(python3 - "$work/t.json" "$(cat "$work/mem")" <<'PY'
import json, statistics, sys
r = json.load(open(sys.argv[1]))["results"][0]
print(statistics.median(r["times"]), r["user"] + r["system"], sys.argv[2])
PY
)")
}

for name in $cases; do
  if [ "$name" = batch ]; then
    mkdir -p "$work/batch"
    for i in $(seq -w 1 40); do
      "$make_wav" "$work/batch/take$i.wav" 10 48000 24 1
    done
    files="$work/batch/*.wav"
    measure "batch:marrowvale" "$mv $files -o $work/out ${mv_options[batch]}"
    if [ -n "$baseline" ]; then
      measure "batch:baseline" "$baseline $files -o $work/out ${mv_options[batch]}"
    fi
    sox_one="sox -D \$0 ${sox_options[batch]/OUT/$work/out/\$(basename \$0)}"
    measure "batch:sox" "for f in $files; do bash -c '$sox_one' \$f; done"
    measure "batch:sox-xargs" "ls $files | xargs -P$cores -n1 bash -c '$sox_one'"
  else
    ${inputs[$name]}
    in="$work/$name.wav"
    measure "$name:marrowvale" "$mv $in -o $work/out ${mv_options[$name]}"
    if [ -n "$baseline" ]; then
      measure "$name:baseline" "$baseline $in -o $work/out ${mv_options[$name]}"
    fi
    measure "$name:sox" "sox -D $in ${sox_options[$name]/OUT/$work/out/$name.wav}"
  fi
done

python3 - "$seconds" "$runs" "${results[@]}" <<'PY'
import sys
seconds, runs = sys.argv[1], sys.argv[2]
rows = {}
order = []
for line in sys.argv[3:]:
    label, wall, cpu, peak = line.split()
    case, tool = label.split(":")
    rows[(case, tool)] = (float(wall), float(cpu), float(peak) / 1024)
    if case not in order:
        order.append(case)
titles = {
    "stereo": f"{seconds} s stereo 44.1k/16 -> 48k/16",
    "hires": f"{seconds} s stereo 96k/24 -> 44.1k/24",
    "mono": f"{seconds} s mono 44.1k/16 -> 48k/16",
    "six": "60 s 6-channel 48k/24 -> 44.1k/24",
    "batch": "40 mono 10 s files 48k/24 -> 44.1k/16",
}
names = {"marrowvale": "marrowvale", "baseline": "marrowvale (baseline build)",
         "sox": "sox -D rate -h", "sox-xargs": "sox -D rate -h, xargs -P"}
print(f"medians of {runs} runs; cpu = user + system; ratios against sox")
print(f"{'':34} {'wall s':>8} {'cpu s':>8} {'peak MiB':>9} {'wall/sox':>9} {'cpu/sox':>8}")
for case in order:
    print(titles[case])
    sox = rows[(case, "sox")]
    for tool in ("marrowvale", "baseline", "sox", "sox-xargs"):
        if (case, tool) not in rows:
            continue
        w, c, p = rows[(case, tool)]
        print(f"  {names[tool]:32} {w:8.3f} {c:8.3f} {p:9.1f} {w / sox[0]:9.2f} {c / sox[1]:8.2f}")
    if (case, "sox-xargs") in rows:
        m, x = rows[(case, "marrowvale")], rows[(case, "sox-xargs")]
        print(f"  {'marrowvale / sox under xargs':32} {m[0] / x[0]:8.2f} {m[1] / x[1]:8.2f}")
PY
