"""Checks of the analysis on synthetic signals whose answers are known.

Each synthetic "converter output" is built here directly at the output
rate from the sweep's own formula, so the expected readings follow from the
construction, not from running any converter.
"""
import math
import os
import tempfile

import numpy as np

import fm_analysis as fa
import fm_wav

FAILURES = []
CHECKS = []


def check(name, ok, detail):
    print(f"{'ok  ' if ok else 'FAIL'} {name}: {detail}")
    CHECKS.append(name)
    if not ok:
        FAILURES.append(name)


def gate(t, start, end, ramp=0.2):
    """1 between start and end, raised-cosine ramps of `ramp` s inside."""
    g = np.clip(np.minimum(t - start, end - t) / ramp, 0.0, 1.0)
    return 0.5 - 0.5 * np.cos(np.pi * g)


def taper(f, start, stop):
    """Amplitude 1 below start, raised-cosine to 0 at stop."""
    u = np.clip((f - start) / (stop - start), 0.0, 1.0)
    return 0.5 + 0.5 * np.cos(np.pi * u)


def test_window():
    n = 1024
    w = fa.kaiser(n)
    spectrum = fa.db(np.fft.rfft(w, 64 * n)) - fa.db(w.sum())
    first_null = int(np.argmax(np.diff(spectrum) > 0))
    sidelobe = spectrum[first_null:].max()
    check("Kaiser window sidelobes", sidelobe < -180.0, f"highest sidelobe {sidelobe:.1f} dB")


def test_wav(folder):
    rng = np.random.default_rng(3)
    x = rng.uniform(-0.9, 0.9, (1000, 2))
    for bits, fmt, tol in ((16, "pcm", 2 ** -15), (24, "pcm", 2 ** -23), (32, "pcm", 2 ** -31),
                           (32, "float", 1e-7), (64, "float", 0.0)):
        path = os.path.join(folder, f"t{bits}{fmt}.wav")
        fm_wav.write(path, x, 48000, bits, fmt)
        y, rate, info = fm_wav.read(path)
        err = np.abs(y - x).max()
        check(f"WAVE {bits}-bit {fmt}", rate == 48000 and y.shape == x.shape and err <= tol,
              f"largest error {err:.2e}, format {info['format']}")
    # WAVE_FORMAT_EXTENSIBLE with a float subformat, as other writers make it.
    data = x[:, 0].astype("<f4").tobytes()
    fmt = (np.array([0xFFFE, 1], "<u2").tobytes() + np.array([44100, 44100 * 4], "<u4").tobytes()
           + np.array([4, 32, 22, 32], "<u2").tobytes() + np.array([4], "<u4").tobytes()
           + np.array([3], "<u2").tobytes() + bytes.fromhex("000000001000800000aa00389b71"))
    path = os.path.join(folder, "ext.wav")
    with open(path, "wb") as f:
        body = b"WAVE" + b"fmt " + len(fmt).to_bytes(4, "little") + fmt + b"data" + len(data).to_bytes(4, "little") + data
        f.write(b"RIFF" + len(body).to_bytes(4, "little") + body)
    y, rate, info = fm_wav.read(path)
    check("WAVE extensible float", info["format"] == "float" and np.abs(y[:, 0] - x[:, 0]).max() < 1e-7,
          f"format {info['format']}, {rate} Hz")


def synthetic_down(noise_lsb=1.0, spurs=True):
    """A 96 -> 44.1 kHz 'output': the sweep with a raised-cosine roll-off
    from 20 to 22 kHz, an alias at -100 dB (inputs 22.6 to 30 kHz), an alias
    at -40 dB landing within 350 Hz of Nyquist (not to be counted), a steady
    -130 dB tone at 5 kHz, and Gaussian noise of noise_lsb 24-bit steps."""
    sweep = fa.Sweep(96000, 20.0)
    fs = 44100
    t = np.arange(int(sweep.duration * fs)) / fs
    f = sweep.freq(t)
    a = sweep.amplitude
    y = a * taper(f, 20000.0, 22000.0) * np.sin(sweep.phase(t))
    if spurs:
        alias = np.sin(2 * np.pi * fs * t - sweep.phase(t))  # lands at fs - f
        on = lambda lo, hi: gate(t, (lo - sweep.f0) / sweep.rate, (hi - sweep.f0) / sweep.rate)
        y += a * 1e-5 * on(22600.0, 30000.0) * alias
        y += a * 1e-2 * on(22100.0, 22400.0) * alias
        y += a * 10 ** (-130 / 20) * np.sin(2 * np.pi * 5000.0 * t)
    y = fa.raised_cosine_fades(y, fs)
    y += np.random.default_rng(5).normal(0.0, noise_lsb * 2.0 ** -23, len(y))
    return y, fs, sweep


def test_sweep_down():
    y, fs, sweep = synthetic_down()
    a = fa.SweepAnalysis(y, fs, sweep)
    w = a.worst
    ok = w is not None and abs(w["db"] + 100.0) < 0.3 and 22600 <= w["input_hz"] <= 30000 \
        and abs(w["output_hz"] - (fs - w["input_hz"])) < 30
    check("worst alias of a -100 dB alias", ok,
          "none" if w is None else f"{w['db']:.2f} dB, in {w['input_hz']:.0f} Hz, out {w['output_hz']:.0f} Hz")
    check("delay of an undelayed output", abs(a.delay) < 2e-4, f"{a.delay * 1e3:.3f} ms")
    points = a.response()
    summary = fa.response_summary(points, fs / 2)
    expected = 20000.0 + 2000.0 * math.acos(2 * 10 ** (-0.1 / 20) - 1) / math.pi
    edge = summary["edge_0p1_hz"]
    check("-0.1 dB edge of a known roll-off", edge is not None and abs(edge - expected) < 15,
          f"{edge:.1f} Hz, expected {expected:.1f} Hz")
    flat = (points[:, 0] > 1000) & (points[:, 0] < 19000)
    ripple = np.abs(points[flat, 1]).max()
    check("flat part of the response", ripple < 0.01, f"largest deviation {ripple:.4f} dB")
    spur = (points[:, 0] > 22700) & (points[:, 0] < 29900)
    level = np.median(points[spur, 1])
    check("response beyond Nyquist read from the alias", abs(level + 100) < 0.3, f"median {level:.2f} dB")


def test_noise_only():
    y, fs, sweep = synthetic_down(noise_lsb=1.0, spurs=False)
    a = fa.SweepAnalysis(y, fs, sweep)
    # Expected noise power per bin against the sweep's reading.
    w = a.sgram.window
    expected = 10 * np.log10((2.0 ** -23) ** 2 * np.sum(w ** 2)) - a.reference_db
    check("noise only: no spur reported", a.worst is None,
          "none" if a.worst is None else f"{a.worst['db']:.1f} dB")
    check("noise floor estimate", abs(a.noise_floor_db - expected) < 1.0,
          f"{a.noise_floor_db:.1f} dB, expected {expected:.1f} dB")
    check("noise stays under the threshold", a.worst_any["db"] < a.threshold_db,
          f"highest {a.worst_any['db']:.1f} dB, threshold {a.threshold_db:.1f} dB")


def test_sweep_up():
    """A 44.1 -> 96 kHz 'output': the sweep, an image at -120 dB for inputs
    from 15 to 20 kHz (landing at 44.1 kHz less the input) and noise."""
    sweep = fa.Sweep(44100, 20.0)
    fs = 96000
    t = np.arange(int(sweep.duration * fs)) / fs
    y = sweep.amplitude * np.sin(sweep.phase(t))
    on = gate(t, (15000 - sweep.f0) / sweep.rate, (20000 - sweep.f0) / sweep.rate)
    y += sweep.amplitude * 1e-6 * on * np.sin(2 * np.pi * 44100 * t - sweep.phase(t))
    y = fa.raised_cosine_fades(y, fs)
    y += np.random.default_rng(6).normal(0.0, 2.0 ** -23, len(y))
    a = fa.SweepAnalysis(y, fs, sweep)
    w = a.worst
    ok = w is not None and abs(w["db"] + 120.0) < 0.3 and abs(w["output_hz"] + w["input_hz"] - 44100) < 30
    check("worst image of a -120 dB image", ok,
          "none" if w is None else f"{w['db']:.2f} dB, in {w['input_hz']:.0f} Hz, out {w['output_hz']:.0f} Hz")


def test_thd_n():
    fs = 44100
    t = np.arange(4 * fs) / fs
    amp = 10 ** (-1 / 20)
    sigma = amp / math.sqrt(2) * 10 ** (-140 / 20)  # white noise at -140 dB over 0 .. fs/2
    y = amp * np.sin(2 * np.pi * 997 * t) + amp * 10 ** (-135 / 20) * np.sin(2 * np.pi * 2991 * t)
    y += np.random.default_rng(8).normal(0.0, sigma, len(y))
    value, level = fa.thd_n(y, fs)
    noise = 10 ** (-14.0) * (20000 - 20) / (fs / 2)
    expected = 10 * np.log10(noise + 10 ** (-13.5))
    check("THD+N of a sine with noise and a harmonic", abs(value - expected) < 0.2 and abs(level + 1) < 0.01,
          f"{value:.2f} dB, expected {expected:.2f} dB; sine at {level:.2f} dBFS")


def run():
    with tempfile.TemporaryDirectory() as folder:
        test_window()
        test_wav(folder)
    test_sweep_down()
    test_noise_only()
    test_sweep_up()
    test_thd_n()
    print(f"{len(CHECKS) - len(FAILURES)} passed, {len(FAILURES)} failed")
    if FAILURES:
        print(f"self-test failed: {', '.join(FAILURES)}")
        return 1
    print("self-test passed")
    return 0
