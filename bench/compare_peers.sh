#!/usr/bin/env bash
# Times marrowvale against sox (a reference peer), in one run on the same
# machine, the tools of a case in interleaved rounds, and prints medians of
# wall time, user and system CPU time, their ratios to the peer, and peak
# memory:
#   stereo   5 min 44.1 kHz/16 -> 48 kHz/16
#   hires    5 min stereo 96 kHz/24 -> 44.1 kHz/24
#   mono     5 min 44.1 kHz/16 -> 48 kHz/16
#   six      1 min 6 channels 48 kHz/24 -> 44.1 kHz/24
#   batch    40 mono 10 s files 48 kHz/24 -> 44.1 kHz/16, against a serial
#            sox loop and against sox under xargs -P(cores)
#   short    1000 mono 0.5 s files 48 kHz/24 -> 44.1 kHz/16, the per-file
#            overhead (system time above all), against a serial sox loop
#   steep44  the stereo case with --filter 1 on one thread (-j 1), against
#            sox rate -v and ffmpeg's soxr resampler (precision 28, one
#            thread), ratios against the latter
#   steep96  the hires case the same way
# MARROWVALE_KERNEL=avx2 passes through to marrowvale, to time its AVX2 path.
# On ext4 without a journal, inodes freed in the last one to six minutes are
# skipped, one by one, whenever a file is created: right after many files were
# removed (an earlier run of this script removes tens of thousands), the
# short-files case reads about twice its system time. Leave a few minutes.
#
#   bench/compare_peers.sh [SECONDS] [RUNS]        (default 300 and 5)
#   MARROWVALE_BASELINE=path/to/marrowvale bench/compare_peers.sh
#       also times another build of marrowvale, for before/after figures
#   CASES="stereo batch" bench/compare_peers.sh    runs only those cases
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
runs=${2:-5}
cases=${CASES:-"stereo hires mono six batch short steep44 steep96"}
baseline=${MARROWVALE_BASELINE:-}

bash scripts/install-deps.sh sox ffmpeg time >/dev/null
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
  [steep44]="$make_wav $work/steep44.wav $seconds 44100 16 2"
  [steep96]="$make_wav $work/steep96.wav $seconds 96000 24 2"
)
declare -A mv_options=([stereo]="-s 48000 -b 16" [hires]="-s 44100 -b 24"
  [mono]="-s 48000 -b 16" [six]="-s 44100 -b 24" [batch]="-s 44100 -b 16"
  [short]="-s 44100 -b 16" [steep44]="-s 48000 -b 16 --filter 1 -j 1"
  [steep96]="-s 44100 -b 24 --filter 1 -j 1")
declare -A sox_options=([stereo]="-b 16 OUT rate -h 48000" [hires]="-b 24 OUT rate -h 44100"
  [mono]="-b 16 OUT rate -h 48000" [six]="-b 24 OUT rate -h 44100"
  [batch]="-b 16 OUT rate -h 44100" [short]="-b 16 OUT rate -h 44100"
  [steep44]="-b 16 OUT rate -v 48000" [steep96]="-b 24 OUT rate -v 44100")
# ffmpeg with soxr at precision 28, one thread: rate, sample coding
declare -A ffmpeg_options=([steep44]="48000 pcm_s16le" [steep96]="44100 pcm_s24le")

results=()
# The commands of one case, timed together in interleaved rounds by
# bench/interleaved_runs.py. Every run writes into a folder of its own, never
# used before, that $work/out links to: emptying one folder of a thousand
# files just before each run made the file system scan the inodes it had just
# freed on every file created (about a third of all the time the short-files
# case measured), a cost of the harness and not of the tool measured. The
# folders of the cases with many files stay until the end, so that freeing
# them weighs on no later case.
queued=()
measure() { # label command: queued for the case's rounds
  queued+=("$1=$2")
}
run_case() { # name -> one line "label wall user system peak" per queued command
  local line
  while read -r line; do
    results+=("$line")
  done < <(python3 bench/interleaved_runs.py "$runs" "$work/runs/$1" "$work/out" "${queued[@]}")
  queued=()
}

for name in $cases; do
  if [ "$name" = short ]; then
    mkdir -p "$work/short"
    "$make_wav" "$work/short/take.wav" 0.5 48000 24 1
    for i in $(seq -w 1 1000); do cp "$work/short/take.wav" "$work/short/take$i.wav"; done
    rm "$work/short/take.wav"
    ls "$work"/short/*.wav >"$work/short.list"
    measure "short:marrowvale" "$mv --files-from $work/short.list -q -o $work/out ${mv_options[short]}"
    if [ -n "$baseline" ]; then
      measure "short:baseline" "$baseline --files-from $work/short.list -q -o $work/out ${mv_options[short]}"
    fi
    sox_one="sox -D \$0 ${sox_options[short]/OUT/$work/out/\$(basename \$0)}"
    measure "short:sox" "for f in $work/short/*.wav; do bash -c '$sox_one' \$f; done"
  elif [ "$name" = batch ]; then
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
    if [ -n "${ffmpeg_options[$name]:-}" ]; then
      read -r rate codec <<<"${ffmpeg_options[$name]}"
      measure "$name:ffmpeg-soxr" "ffmpeg -nostdin -loglevel error -y -threads 1 -i $in \
        -af aresample=resampler=soxr:precision=28 -ar $rate -c:a $codec -threads 1 \
        $work/out/$name.wav"
    fi
  fi
  run_case "$name"
  case $name in
    short | batch) ;;
    *) rm -rf "$work/runs/$name" ;;
  esac
done

python3 - "$seconds" "$runs" "${results[@]}" <<'PY'
import sys
seconds, runs = sys.argv[1], sys.argv[2]
rows = {}
order = []
for line in sys.argv[3:]:
    label, wall, user, system, peak = line.split()
    case, tool = label.split(":")
    rows[(case, tool)] = (float(wall), float(user), float(system), float(peak) / 1024)
    if case not in order:
        order.append(case)
titles = {
    "stereo": f"{seconds} s stereo 44.1k/16 -> 48k/16",
    "hires": f"{seconds} s stereo 96k/24 -> 44.1k/24",
    "mono": f"{seconds} s mono 44.1k/16 -> 48k/16",
    "six": "60 s 6-channel 48k/24 -> 44.1k/24",
    "batch": "40 mono 10 s files 48k/24 -> 44.1k/16",
    "short": "1000 mono 0.5 s files 48k/24 -> 44.1k/16",
    "steep44": f"{seconds} s stereo 44.1k/16 -> 48k/16, --filter 1 -j 1 (ratios: ffmpeg-soxr)",
    "steep96": f"{seconds} s stereo 96k/24 -> 44.1k/24, --filter 1 -j 1 (ratios: ffmpeg-soxr)",
}
names = {"marrowvale": "marrowvale", "baseline": "marrowvale (baseline build)",
         "sox": "sox -D rate -h (-v for steep)", "sox-xargs": "sox -D rate -h, xargs -P",
         "ffmpeg-soxr": "ffmpeg soxr precision 28, 1 thread"}
print(f"medians of {runs} interleaved runs; ratios against the peer named")
print(f"{'':36} {'wall s':>8} {'user s':>8} {'sys s':>7} {'peak MiB':>9} {'wall/peer':>9} {'user/peer':>9}")
for case in order:
    print(titles[case])
    peer = rows.get((case, "ffmpeg-soxr"), rows[(case, "sox")])
    for tool in ("marrowvale", "baseline", "sox", "sox-xargs", "ffmpeg-soxr"):
        if (case, tool) not in rows:
            continue
        w, u, s, p = rows[(case, tool)]
        print(f"  {names[tool]:34} {w:8.3f} {u:8.3f} {s:7.3f} {p:9.1f} {w / peer[0]:9.2f} {u / peer[1]:9.2f}")
    if (case, "sox-xargs") in rows:
        m, x = rows[(case, "marrowvale")], rows[(case, "sox-xargs")]
        print(f"  {'marrowvale / sox under xargs':34} {m[0] / x[0]:8.2f} {m[1] / x[1]:8.2f}")
    if (case, "baseline") in rows:
        m, b = rows[(case, "marrowvale")], rows[(case, "baseline")]
        print(f"  {'marrowvale / baseline':34} {m[0] / b[0]:8.2f} {m[1] / b[1]:8.2f} {m[2] / max(b[2], 1e-9):7.2f}")
PY
