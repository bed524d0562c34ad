"""Signals and analyses of the filter measurements.

Definitions (the tool's help and README repeat them):

Sweep: a linear sine sweep of amplitude A (-1 dBFS) from 20 Hz to the
input's Nyquist frequency over D seconds (20 s), with 50 ms raised-cosine
fades, written as rounded 24-bit PCM. Its rate r = (fs_in/2 - 20) / D.

Analysis: short-time spectra of the output with a Kaiser window, beta 24
(highest sidelobe -188 dB), of N = 2^round(log2(4.5 fs_out / sqrt(r)))
samples (about 93 ms at r = 2.4 kHz/s, the length that smears a chirp the
least), hop N/16. Levels are in dB relative to how the sweep itself reads in
this analysis, so that a spur sweeping at the sweep's rate -- aliases and
images of a rate converter all do -- reads its amplitude relative to the
sweep. (A steady tone reads up to about 2 dB higher than its amplitude.)

Worst alias / image: the highest level over every frame and every frequency
from 20 Hz to the output's Nyquist frequency that lies at least B (1 kHz) away
from the sweep's instantaneous frequency, over frames whose window lies
wholly inside the sweep (fades and the converter's start excluded). The
sweep's instantaneous frequency is that of the input at the frame's centre,
less the converter's delay (measured). Components within B of the sweep are
its own main lobe and smear (under 200 Hz at -150 dB), and, near the output's
Nyquist frequency, the filter's transition band, which the response
measurement shows instead: B = 1 kHz means an alias that lands within 500 Hz
of the output's Nyquist frequency is not counted as one. A reading counts as
a spur only if it stands above the noise: more than 3 dB above the expected
maximum of that frame's noise (median level / ln 2, times ln K + 0.577 for K
cells examined); readings below that are reported as the noise floor.

Response: along the sweep, the level of the fundamental (the sweep itself,
up to the lower Nyquist frequency) and of the alias (down-sampling) or
images (up-sampling) that carry the filter's response beyond it, against the
frequency at the higher rate. The -0.1 dB edge is the lowest frequency from
1 kHz up where the response falls below -0.1 dB.

THD+N: a 997 Hz sine at -1 dBFS; the output's power outside the sine's main
lobe, from 20 Hz to 20 kHz, relative to the sine's power, from a
2^17-sample Kaiser (beta 24) spectrum of the output's steady part.
"""
import math

import numpy as np

KAISER_BETA = 24.0
SWEEP_START_HZ = 20.0
SWEEP_DBFS = -1.0
FADE_S = 0.05
EXCLUSION_HZ = 1000.0
LOW_EDGE_HZ = 20.0
THDN_FREQUENCY = 997.0
THDN_BAND = (20.0, 20000.0)
THDN_LENGTH = 1 << 17


SILENCE_DB = -400.0  # what an exact zero reads


def db(x):
    a = np.abs(np.asarray(x)).astype(np.float64)
    with np.errstate(divide="ignore"):
        return np.maximum(20.0 * np.log10(a), SILENCE_DB)


def kaiser(n):
    return np.kaiser(n, KAISER_BETA)


def raised_cosine_fades(x, fs, fade_s=FADE_S):
    n = int(round(fade_s * fs))
    ramp = 0.5 - 0.5 * np.cos(np.pi * np.arange(n) / n)
    x[:n] *= ramp
    x[len(x) - n:] *= ramp[::-1]
    return x


class Sweep:
    """The linear sweep from 20 Hz to the input's Nyquist frequency."""

    def __init__(self, input_rate, duration=20.0, dbfs=SWEEP_DBFS, f0=SWEEP_START_HZ):
        self.input_rate = input_rate
        self.duration = duration
        self.amplitude = 10.0 ** (dbfs / 20.0)
        self.f0 = f0
        self.f1 = input_rate / 2.0
        self.rate = (self.f1 - self.f0) / duration

    def freq(self, t):
        return self.f0 + self.rate * np.asarray(t, dtype=np.float64)

    def phase(self, t):
        t = np.asarray(t, dtype=np.float64)
        return 2.0 * np.pi * (self.f0 * t + 0.5 * self.rate * t * t)

    def samples(self, fs=None):
        fs = fs or self.input_rate
        t = np.arange(int(round(self.duration * fs))) / fs
        return raised_cosine_fades(self.amplitude * np.sin(self.phase(t)), fs)


def sine(rate, frequency=THDN_FREQUENCY, seconds=4.0, dbfs=SWEEP_DBFS):
    t = np.arange(int(round(seconds * rate))) / rate
    return raised_cosine_fades(10.0 ** (dbfs / 20.0) * np.sin(2 * np.pi * frequency * t), rate)


def impulse(rate, seconds=1.0, height=0.5):
    x = np.zeros(int(round(seconds * rate)))
    x[len(x) // 2] = height
    return x


def frame_length(fs, chirp_rate):
    return 1 << int(round(math.log2(4.5 * fs / math.sqrt(chirp_rate))))


def peak_db(row, centre, halfwidth):
    """Level (dB of magnitude) of the highest bin within halfwidth bins of
    centre, refined by a parabola through it and its neighbours."""
    lo = max(int(math.floor(centre - halfwidth)), 1)
    hi = min(int(math.ceil(centre + halfwidth)), len(row) - 2)
    if hi < lo:
        return -np.inf, centre
    k = lo + int(np.argmax(row[lo:hi + 1]))
    a, b, c = db(row[k - 1:k + 2])
    denom = a - 2 * b + c
    # Only a true local maximum above silence is refined.
    if b < a or b < c or denom > -1e-9 or min(a, b, c) <= SILENCE_DB:
        return b, float(k)
    d = 0.5 * (a - c) / denom
    return b - 0.25 * (a - c) * d, k + d


class Spectrogram:
    """Magnitudes of the Kaiser-windowed frames of a signal."""

    def __init__(self, y, fs, n, hop=None):
        self.fs = fs
        self.n = n
        self.hop = hop or n // 16
        self.window = kaiser(n)
        count = max((len(y) - n) // self.hop + 1, 0)
        self.centres = (np.arange(count) * self.hop + n / 2.0) / fs
        self.freqs = np.arange(n // 2 + 1) * fs / n
        self.mag = np.empty((count, n // 2 + 1), np.float32)
        step = max(1, (1 << 22) // n)
        for s in range(0, count, step):
            idx = (np.arange(s, min(s + step, count)) * self.hop)[:, None] + np.arange(n)[None, :]
            self.mag[s:s + idx.shape[0]] = np.abs(np.fft.rfft(y[idx] * self.window, axis=1))


def chirp_reading(n, fs, chirp_rate, amplitude):
    """How a chirp of that rate and amplitude reads (dB of magnitude) in a
    frame of n samples, averaged over its position between bins."""
    w = kaiser(n)
    t = (np.arange(n) - n / 2.0) / fs
    readings = []
    for offset in np.linspace(0.0, 1.0, 8, endpoint=False):
        fc = (n // 4 + offset) * fs / n
        x = amplitude * np.sin(2 * np.pi * (fc * t + 0.5 * chirp_rate * t * t))
        row = np.abs(np.fft.rfft(x * w))
        readings.append(peak_db(row, fc * n / fs, 20)[0])
    return float(np.mean(readings))


def fold(f, fs):
    """Where a component at f lands when sampled at fs."""
    return np.abs(np.mod(np.asarray(f) + fs / 2.0, fs) - fs / 2.0)


class SweepAnalysis:
    """Worst alias or image, spectrogram and response of a converted sweep."""

    def __init__(self, y, fs_out, sweep, exclusion=EXCLUSION_HZ, frame_seconds=None):
        self.fs_out = fs_out
        self.sweep = sweep
        self.exclusion = exclusion
        if frame_seconds:
            n = 1 << int(round(math.log2(frame_seconds * fs_out)))
        else:
            n = frame_length(fs_out, sweep.rate)
        self.sgram = Spectrogram(y, fs_out, n)
        self.reference_db = chirp_reading(n, fs_out, sweep.rate, sweep.amplitude)
        self.delay = self._delay()
        self.f_in = sweep.freq(self.sgram.centres - self.delay)
        half = n / 2.0 / fs_out
        guard = FADE_S + 0.02
        start = self.sgram.centres - self.delay - half
        end = self.sgram.centres - self.delay + half
        self.valid = (start >= guard) & (end <= sweep.duration - guard)
        self._spurs()

    def level_db(self):
        """The spectrogram in dB relative to the sweep."""
        return db(self.sgram.mag) - self.reference_db

    def _delay(self):
        sgram, sweep = self.sgram, self.sweep
        top = 0.8 * min(sweep.input_rate, self.fs_out) / 2.0
        f_nominal = sweep.freq(sgram.centres)
        est = []
        bin_hz = self.fs_out / sgram.n
        for i in np.nonzero((f_nominal > 1000.0) & (f_nominal < top))[0][::8]:
            _, k = peak_db(sgram.mag[i], f_nominal[i] / bin_hz, 0.01 * sweep.rate / bin_hz + 40)
            est.append((f_nominal[i] - k * bin_hz) / sweep.rate)
        return float(np.median(est)) if est else 0.0

    def _spurs(self):
        sgram = self.sgram
        freqs = sgram.freqs
        band = (freqs >= LOW_EDGE_HZ) & (freqs <= self.fs_out / 2.0)
        rows = np.nonzero(self.valid)[0]
        power = sgram.mag[rows].astype(np.float64) ** 2
        counted = band[None, :] & (np.abs(freqs[None, :] - self.f_in[rows][:, None]) >= self.exclusion)
        cells = int(counted.sum())
        floor = np.array([np.median(p[c]) / math.log(2.0) for p, c in zip(power, counted)])
        factor = 2.0 * (math.log(max(cells, 2)) + 0.5772)
        ref_power = 10.0 ** (self.reference_db / 10.0)
        with np.errstate(divide="ignore"):
            level = np.where(counted, np.maximum(10 * np.log10(power / ref_power), SILENCE_DB), -np.inf)
        above = counted & (power > floor[:, None] * factor)
        # Reported over the frames with the sweep in the output's band: after
        # it leaves, some converters write digital silence.
        sounding = self.f_in[rows] < self.fs_out / 2.0
        typical = float(np.median(floor[sounding])) if sounding.any() else float(np.median(floor))
        self.noise_floor_db = float(10 * np.log10(max(typical, 1e-40) / ref_power))
        self.threshold_db = float(10 * np.log10(max(typical * factor, 1e-40) / ref_power))
        self.worst_any = self._where(level, rows)
        self.worst = self._where(np.where(above, level, -np.inf), rows)

    def _where(self, level, rows):
        if level.size == 0 or not np.isfinite(level).any():
            return None
        i, j = np.unravel_index(int(np.argmax(level)), level.shape)
        r = rows[i]
        return {"db": float(level[i, j]), "time_s": float(self.sgram.centres[r]),
                "input_hz": float(self.f_in[r]), "output_hz": float(self.sgram.freqs[j])}

    def response(self, min_separation=150.0):
        """(frequency at the higher rate, dB) pairs along the sweep, sorted."""
        sgram, sweep = self.sgram, self.sweep
        fs_in, fs_out = sweep.input_rate, self.fs_out
        bin_hz = fs_out / sgram.n
        points = []
        for i in np.nonzero(self.valid)[0]:
            f = self.f_in[i]
            if fs_out < fs_in:
                tracks = [(f, float(fold(f, fs_out)))]
                others = [f] if f < fs_out / 2 else []
            else:
                tracks = []
                k = 0
                while k * fs_in - f <= fs_out / 2:
                    for g in ((k * fs_in + f), (k * fs_in - f)):
                        if 0 < g <= fs_out / 2:
                            tracks.append((g, g))
                    k += 1
                others = [t[1] for t in tracks]
            for f_high, f_seen in tracks:
                if f_seen < LOW_EDGE_HZ or f_seen > fs_out / 2 - 2 * bin_hz:
                    continue
                if any(0 < abs(o - f_seen) < min_separation for o in others if o != f_seen):
                    continue
                level, _ = peak_db(sgram.mag[i], f_seen / bin_hz, 3)
                points.append((f_high, level - self.reference_db))
        points.sort()
        return np.array(points).reshape(-1, 2)


def response_summary(points, lower_nyquist):
    f, g = points[:, 0], points[:, 1]
    out = {}
    below = np.nonzero((f >= 1000.0) & (g < -0.1))[0]
    out["edge_0p1_hz"] = None
    if below.size:
        i = below[0]
        edge = f[i]
        if i > 0 and g[i - 1] >= -0.1:  # between the two readings around the crossing
            edge = f[i - 1] + (f[i] - f[i - 1]) * (g[i - 1] + 0.1) / (g[i - 1] - g[i])
        out["edge_0p1_hz"] = float(edge)
    pass_band = (f >= 1000.0) & (f <= (out["edge_0p1_hz"] or lower_nyquist))
    if pass_band.any():
        out["passband_ripple_db"] = [float(g[pass_band].min()), float(g[pass_band].max())]
    for name, level in (("minus3db_hz", -3.0), ("minus100db_hz", -100.0), ("minus130db_hz", -130.0)):
        idx = np.nonzero((f >= 1000.0) & (g < level))[0]
        out[name] = float(f[idx[0]]) if idx.size else None
    near = np.abs(f - lower_nyquist) < 30.0
    out["at_lower_nyquist_db"] = float(np.median(g[near])) if near.any() else None
    return out


def thd_n(y, fs, frequency=THDN_FREQUENCY, band=THDN_BAND, length=THDN_LENGTH):
    """THD+N in dB relative to the sine, and the fundamental's level in dBFS."""
    if len(y) < length + fs // 2:
        raise ValueError("output too short for the THD+N analysis")
    start = (len(y) - length) // 2
    seg = y[start:start + length]
    w = kaiser(length)
    p = np.abs(np.fft.rfft(seg * w)) ** 2
    freqs = np.arange(len(p)) * fs / length
    k = int(round(frequency * length / fs))
    k = k - 20 + int(np.argmax(p[k - 20:k + 21]))
    half = 12  # the main lobe is 7.7 bins each side at beta 24
    fundamental = p[k - half:k + half + 1].sum()
    in_band = (freqs >= band[0]) & (freqs <= min(band[1], fs / 2.0))
    in_band[k - half:k + half + 1] = False
    residual = p[in_band].sum()
    # The positive-frequency lobe holds length * A^2/4 * sum(w^2) for amplitude A.
    level = 10 * np.log10(4.0 * fundamental / (length * np.sum(w ** 2)))
    return float(10 * np.log10(max(residual, 1e-300) / fundamental)), float(level)
