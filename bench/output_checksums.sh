#!/usr/bin/env bash
# Converts a fixed set of generated files and prints one checksum per output,
# so that two builds can be compared byte for byte:
#   bench/output_checksums.sh [MARROWVALE_BINARY]   (default build/release/marrowvale)
# The inputs are made here, without the project's own code: several channel
# counts, widths, rates and awkward lengths, converted over several ratios,
# widths and every noise shaping, with dither off. The stage planner draws
# from a generator seeded by the clock, and some ratios have several plans of
# equal cost, so the clock is pinned with faketime to make runs repeat.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh faketime >/dev/null
binary=${1:-build/release/marrowvale}
if [ ! -x "$binary" ]; then
  cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/release -j "$(nproc)" --target marrowvale >/dev/null
fi
binary=$(realpath "$binary")

work=$(mktemp -d /tmp/marrowvale_checksums_XXXXXX)
trap 'rm -rf "$work"' EXIT

# name channels rate bits frames
python3 - "$work" <<'PY'
import math, struct, sys
work = sys.argv[1]
files = [
    ("mono16_44k", 1, 44100, 16, 70001),
    ("stereo16_44k", 2, 44100, 16, 88200),
    ("stereo24_48k", 2, 48000, 24, 50000),
    ("three24_96k", 3, 96000, 24, 40961),
    ("six32_48k", 6, 48000, 32, 9999),
    ("mono8_22k", 1, 22050, 8, 22051),
    ("stereo16_8k", 2, 8000, 16, 8003),
    ("mono24_short", 1, 44100, 24, 1),
    ("stereo16_empty", 2, 44100, 16, 0),
]
for name, channels, rate, bits, frames in files:
    full = (1 << (bits - 1)) - 1
    state = 2463534242
    data = bytearray()
    for n in range(frames):
        for c in range(channels):
            state ^= (state << 13) & 0xFFFFFFFF
            state ^= state >> 17
            state ^= (state << 5) & 0xFFFFFFFF
            noise = (state / 4294967296.0 - 0.5) * 0.02
            f = 440.0 * (c + 1) + 3.0 * n / max(rate, 1)
            v = 0.8 * math.sin(2 * math.pi * f * n / rate) + noise
            # A few full-scale peaks, so that clipping paths run too.
            if n % 5003 == 17:
                v = 1.0 if c % 2 == 0 else -1.0
            x = max(-full - 1, min(full, int(round(v * full))))
            if bits == 8:
                data += struct.pack("<B", x + 128)
            else:
                data += (x & ((1 << bits) - 1)).to_bytes(bits // 8, "little")
    align = channels * bits // 8
    fmt = struct.pack("<HHIIHH", 1, channels, rate, rate * align, align, bits)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    body += b"data" + struct.pack("<I", len(data)) + data + (b"\0" if len(data) % 2 else b"")
    with open(f"{work}/{name}.wav", "wb") as out:
        out.write(b"RIFF" + struct.pack("<I", len(body)) + body)
PY

# Each job: a folder name, then the options.
jobs=(
  "s48k -s 48000"
  "s44k1_b16 -s 44100 -b 16 -t 0"
  "s96k_b24 -s 96000 -b 24"
  "s22k05_b16_n1 -s 22050 -b 16 -t 0 -n 1"
  "s32k_b16_n2 -s 32000 -b 16 -t 0 -n 2"
  "s44k1_b16_n3 -s 44100 -b 16 -t 0 -n 3"
  "b8_n3 -b 8 -t 0 -n 3"
  "b20c24_n2 -b 20 -c 24 -t 0 -n 2"
  "b32 -b 32"
  "s192k -s 192000"
  "s7999_b12 -s 7999 -b 12 -t 0 -n 1"
)
for job in "${jobs[@]}"; do
  folder=${job%% *}
  options=${job#* }
  # shellcheck disable=SC2086
  faketime -f '2026-01-01 00:00:00' "$binary" "$work"/*.wav -o "$work/out/$folder" $options >/dev/null 2>&1 || true
done
cd "$work/out"
find . -type f -name '*.wav' | sort | xargs sha256sum | sed 's|  \./|  |'
