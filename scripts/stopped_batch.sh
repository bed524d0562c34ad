#!/usr/bin/env bash
# Stops marrowvale with SIGTERM in two phases and checks that it ends within a
# second with status 130, leaves no temporary output and, under
# ThreadSanitizer, reports nothing:
#   - a batch of four jobs halfway through its conversions;
#   - a batch whose input is a FIFO that nobody writes, so that opening it
#     never returns.
#   scripts/stopped_batch.sh [MARROWVALE_BINARY]   (default build/release/marrowvale)
set -euo pipefail
binary=$(realpath "${1:-build/release/marrowvale}")
work=$(mktemp -d /tmp/marrowvale_stopped_XXXXXX)
trap 'rm -rf "$work"' EXIT

python3 - "$work" <<'PY'
import math, struct, sys
# Forty seconds of a stereo tone each, built from one repeated period.
period = b"".join(struct.pack("<hh", int(9000 * math.sin(2 * math.pi * n / 100)), 0)
                  for n in range(100))
data = period * (44100 * 40 // 100)
fmt = struct.pack("<HHIIHH", 1, 2, 44100, 44100 * 4, 4, 16)
body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
body += b"data" + struct.pack("<I", len(data)) + data
for i in range(8):
    with open(f"{sys.argv[1]}/in{i}.wav", "wb") as out:
        out.write(b"RIFF" + struct.pack("<I", len(body)) + body)
PY
mkfifo "$work/fifo.wav"

status=0
# name, seconds before the signal, then the inputs
run_stopped() {
  local name=$1 delay=$2
  shift 2
  "$binary" -q "$@" -o "$work/out_$name" -s 768000 -j 4 >/dev/null 2>"$work/$name.err" &
  local pid=$!
  sleep "$delay"
  kill -TERM "$pid"
  local sent ended code=0
  sent=$(date +%s%N)
  wait "$pid" || code=$?
  ended=$(date +%s%N)
  local ms=$(((ended - sent) / 1000000))
  local left
  left=$(find "$work" -name '*.part' | wc -l)
  echo "$name: status $code, ended ${ms} ms after SIGTERM, temporary files left: $left"
  if [ "$code" -ne 130 ] || [ "$left" -ne 0 ] || [ "$ms" -gt 1000 ] ||
     grep -q "ThreadSanitizer" "$work/$name.err"; then
    cat "$work/$name.err"
    status=1
  fi
}
run_stopped converting 1 "$work"/in*.wav
run_stopped opening 0.5 "$work/fifo.wav" "$work/in0.wav"
exit $status
