#!/usr/bin/env bash
# Builds marrowvale, writes a short example recording with the project's own
# generator and converts it twice:
#   example/example.wav                 stereo 44.1 kHz 16-bit, 4 seconds
#   example/48k-24bit/example.wav       resampled to 48 kHz, widened to 24 bits
#   example/44k1-16bit/example.wav      that one back to 44.1 kHz and 16 bits,
#                                       with high-pass triangular dither and
#                                       9-tap noise shaping
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release
cmake --build build/release -j "$(nproc 2>/dev/null || echo 2)" --target marrowvale make_example_wav

mkdir -p example
./build/release/make_example_wav example/example.wav 4
./build/release/marrowvale example/example.wav -o 48k-24bit -s 48000 -b 24
./build/release/marrowvale example/48k-24bit/example.wav -o "$PWD/example/44k1-16bit" \
  -s 44100 -b 16 -t 2 -d 1 -n 3
