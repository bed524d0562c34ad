#!/usr/bin/env bash
# A real conversion past 4 GiB (not run in CI): a 1.1-billion-frame 8-bit mono
# file (1.1 GB) widened to 32 bits makes a 4.4 GB output, which must be RF64.
# Prints the time and peak memory of the conversion, ffprobe's reading of the
# output, and checks the output's sizes and some of its samples. Then the RF64
# output is converted back to 8 bits and must equal the input's samples.
#   bench/large_rf64.sh [MARROWVALE_BINARY] [WORK_FOLDER]
# (defaults build/release/marrowvale and a new folder under /tmp); about
# 6.6 GB of disk are used for a while and removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh ffmpeg time >/dev/null
binary=${1:-build/release/marrowvale}
if [ ! -x "$binary" ]; then
  cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/release -j "$(nproc)" --target marrowvale >/dev/null
fi
binary=$(realpath "$binary")
frames=${MARROWVALE_RF64_FRAMES:-1100000000}

work=$(mktemp -d "${2:-/tmp}/marrowvale_rf64_XXXXXX")
trap 'rm -rf "$work"' EXIT
free_kb=$(df -Pk "$work" | awk 'NR == 2 { print $4 }')
if [ "$free_kb" -lt $(( (frames * 6 + 200000000) / 1024 )) ]; then
  echo "not enough free disk in $work for $frames frames" >&2
  exit 1
fi

# The input: a plain RIFF header, then pseudo-random unsigned 8-bit samples.
python3 - "$work/long.wav" "$frames" <<'PY'
import struct, sys
path, frames = sys.argv[1], int(sys.argv[2])
fmt = struct.pack("<HHIIHH", 1, 1, 48000, 48000, 1, 8)
with open(path, "wb") as out:
    out.write(b"RIFF" + struct.pack("<I", 36 + frames + (frames & 1)) + b"WAVE")
    out.write(b"fmt " + struct.pack("<I", 16) + fmt + b"data" + struct.pack("<I", frames))
PY
head -c "$frames" /dev/urandom >>"$work/long.wav"
[ $((frames & 1)) -eq 1 ] && printf '\0' >>"$work/long.wav"
echo "input: $(stat -c %s "$work/long.wav") bytes, $frames frames of 8-bit mono at 48 kHz"

measure() { # label, then the command
  local label=$1
  shift
  /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null
  read -r seconds peak_kb <"$work/time.txt"
  echo "$label: ${seconds} s, peak memory $((peak_kb / 1024)) MiB"
}
measure "8 -> 32 bits" "$binary" "$work/long.wav" -o "$work/wide" -b 32 -q
out="$work/wide/long.wav"
echo "output: $(stat -c %s "$out") bytes"
ffprobe -v error -show_entries format=format_name,size,duration:stream=codec_name,sample_rate,channels,bits_per_sample,duration_ts \
  -of default=noprint_wrappers=1 "$out"

python3 - "$work/long.wav" "$out" "$frames" <<'PY'
import struct, sys
source, path, frames = sys.argv[1], sys.argv[2], int(sys.argv[3])
with open(path, "rb") as f:
    head = f.read(12 + 36 + 26 + 8)
    size = f.seek(0, 2)
assert head[0:4] == b"RF64" and head[8:12] == b"WAVE", head[0:12]
assert struct.unpack("<I", head[4:8])[0] == 0xFFFFFFFF
assert head[12:16] == b"ds64"
riff, data, count = struct.unpack("<QQQ", head[20:44])
assert head[48:52] == b"fmt " and head[74:78] == b"data", head[48:78]
assert struct.unpack("<I", head[78:82])[0] == 0xFFFFFFFF
assert data == 4 * frames and count == frames and riff == size - 8 and size == 82 + data, \
    (riff, data, count, size)
# Samples at the start, the middle, past 4 GiB and at the end: each input
# byte u becomes (u - 128) << 24.
with open(source, "rb") as s, open(path, "rb") as f:
    for frame in (0, frames // 2, (1 << 32) // 4 + 3, frames - 1000):
        s.seek(44 + frame)
        f.seek(82 + 4 * frame)
        for u in s.read(1000):
            assert struct.unpack("<i", f.read(4))[0] == (u - 128) << 24, frame
print("header and samples check: ok (ds64 data size %d, %d frames)" % (data, count))
PY

measure "RF64 32 -> 8 bits" "$binary" "$out" -o "$work/back" -b 8 -q
rm -f "$out"
# The samples, after headers of 44 (input) and 46 bytes (output).
cmp -i 44:46 "$work/long.wav" "$work/back/long.wav" && echo "converted back: samples byte-identical to the input's"
