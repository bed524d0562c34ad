"""Reading and writing RIFF WAVE files for the measurements.

Integer PCM (8 to 32 bits, plain or WAVE_FORMAT_EXTENSIBLE) and IEEE float
(format tag 3, 32 or 64 bits) are read into float64 arrays scaled so that
full scale is 1.0; only what the measurements need is written.
"""
import struct

import numpy as np

PCM = 1
IEEE_FLOAT = 3
EXTENSIBLE = 0xFFFE


class WaveError(Exception):
    pass


def read(path):
    """Returns (samples[frames, channels] as float64, rate, info dict)."""
    with open(path, "rb") as f:
        blob = f.read()
    if len(blob) < 12 or blob[:4] != b"RIFF" or blob[8:12] != b"WAVE":
        raise WaveError(f"{path}: not a RIFF WAVE file")
    pos = 12
    fmt = None
    data = None
    while pos + 8 <= len(blob):
        cid = blob[pos:pos + 4]
        size = struct.unpack_from("<I", blob, pos + 4)[0]
        body = blob[pos + 8:pos + 8 + size]
        if cid == b"fmt ":
            fmt = body
        elif cid == b"data":
            data = body
        pos += 8 + size + (size & 1)
    if fmt is None or data is None or len(fmt) < 16:
        raise WaveError(f"{path}: no fmt or data chunk")
    tag, channels, rate, _, block_align, bits = struct.unpack_from("<HHIIHH", fmt)
    if tag == EXTENSIBLE:
        if len(fmt) < 40:
            raise WaveError(f"{path}: short extensible fmt chunk")
        tag = struct.unpack_from("<H", fmt, 24)[0]
    if channels < 1 or block_align % channels:
        raise WaveError(f"{path}: bad block alignment")
    width = block_align // channels
    frames = len(data) // block_align
    data = data[:frames * block_align]
    if tag == IEEE_FLOAT:
        if width not in (4, 8):
            raise WaveError(f"{path}: float samples of {width} bytes")
        x = np.frombuffer(data, "<f4" if width == 4 else "<f8").astype(np.float64)
    elif tag == PCM:
        if width < 1 or width > 4:
            raise WaveError(f"{path}: integer samples of {width} bytes")
        raw = np.frombuffer(data, np.uint8).reshape(-1, width).astype(np.int64)
        v = np.zeros(raw.shape[0], np.int64)
        for i in range(width):
            v |= raw[:, i] << (8 * i)
        span = 8 * width
        if width == 1:  # 8-bit WAVE samples are offset binary
            v = v - 128
        else:
            v = np.where(v >= 1 << (span - 1), v - (1 << span), v)
        x = v / float(1 << (span - 1))
    else:
        raise WaveError(f"{path}: format tag {tag} is not PCM or IEEE float")
    info = {"format": "float" if tag == IEEE_FLOAT else "pcm", "bits": bits,
            "container_bytes": width, "channels": channels}
    return x.reshape(frames, channels), rate, info


def write(path, x, rate, bits=24, fmt="pcm"):
    """Writes mono or [frames, channels] samples (full scale 1.0).

    Integer samples are rounded to nearest and clipped, without dither: the
    test signals stay deterministic and their rounding error is far below
    what is measured (see the tool's help).
    """
    x = np.asarray(x, dtype=np.float64)
    if x.ndim == 1:
        x = x[:, None]
    channels = x.shape[1]
    if fmt == "float":
        if bits not in (32, 64):
            raise WaveError("float samples are 32 or 64 bits")
        payload = x.astype("<f4" if bits == 32 else "<f8").tobytes()
        tag = IEEE_FLOAT
        width = bits // 8
    else:
        if bits not in (16, 24, 32):
            raise WaveError("integer samples are 16, 24 or 32 bits")
        width = bits // 8
        top = (1 << (bits - 1)) - 1
        q = np.clip(np.round(x * (top + 1)), -top - 1, top).astype(np.int64)
        payload = (q & ((1 << bits) - 1)).astype("<u8").view(np.uint8)
        payload = payload.reshape(-1, 8)[:, :width].tobytes()
        tag = PCM
    block = width * channels
    fmt_chunk = struct.pack("<HHIIHH", tag, channels, rate, rate * block, block, bits)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt_chunk) + 8 + len(payload)) + b"WAVE")
        f.write(b"fmt " + struct.pack("<I", len(fmt_chunk)) + fmt_chunk)
        f.write(b"data" + struct.pack("<I", len(payload)) + payload)
        if len(payload) & 1:
            f.write(b"\0")
