#!/usr/bin/env python3
"""Design study for a steep resampler filter setting (not part of the product).

Models the resampler's stage filters in numpy: today's Nuttall-windowed sinc,
and Kaiser-windowed sincs whose stop edges are placed per stage of a cascade.
Prints, per conversion, the stage plan, per-stage edges, lengths, taps per
branch and multiply-adds per input sample, and the stopband each design
reaches once its coefficients are rounded to float; then the noise that
float intermediates add.

  /usr/bin/python3 tools/filter_measure/steep_study.py [--quick] [--attenuation=DB]
"""
import itertools
import math
import sys

import numpy as np

NUTTALL = (0.36335819, 0.4891775, 0.1365995, 0.0106411)


# ---------------------------------------------------------------- today's design
def current_length(up, down):
    f = max(up, down)
    base = max(20 * f, 1024)
    unit = up * down
    if 2 * base < unit:
        unit = up
    return (base + unit - 1) // unit * unit


def current_filter(up, down, centre_offset=0.0):
    n = current_length(up, down)
    fc = 0.977 / max(up, down)
    i = np.arange(n)
    a0, a1, a2, a3 = NUTTALL
    d = 2 * np.pi / (n - 1)
    w = a0 - a1 * np.cos(i * d) + a2 * np.cos(2 * i * d) - a3 * np.cos(3 * i * d)
    h = (w * np.sinc(fc * (i - n // 2 - centre_offset))).astype(np.float32)
    return (h.astype(np.float64) / h.astype(np.float64).sum()).astype(np.float32)


# ---------------------------------------------------------------- steep design
def kaiser_beta(a):
    return 0.1102 * (a - 8.7) if a > 50 else 0.5842 * (a - 21) ** 0.4 + 0.07886 * (a - 21)


def kaiser_length(a, transition, rate, up):
    """Taps for attenuation a (dB) over `transition` Hz at `rate`, a multiple of up."""
    n = math.ceil((a - 7.95) / (2.285 * 2 * math.pi * transition / rate)) + 1
    return (n + up - 1) // up * up


def kaiser_filter(n, fc_hz, rate, a):
    """Kaiser-windowed sinc of n taps, window and sinc both centred at n/2 (the
    delay the resampler compensates), cutoff fc_hz at `rate`, sum 1, float."""
    i = np.arange(n)
    half = n / 2.0
    w = np.i0(kaiser_beta(a) * np.sqrt(np.clip(1 - ((i - half) / half) ** 2, 0, 1))) / np.i0(kaiser_beta(a))
    h = w * (2 * fc_hz / rate) * np.sinc(2 * fc_hz / rate * (i - half))
    h = h / h.sum()
    return h.astype(np.float32)


def response_db(h, rate, freqs):
    """|H(f)| in dB for float coefficients h (exact sum in double)."""
    h = np.asarray(h, np.float64)
    n = len(h)
    k = np.arange(n)
    out = np.empty(len(freqs))
    for s in range(0, len(freqs), 256):
        f = freqs[s:s + 256]
        out[s:s + 256] = np.abs(np.exp(-2j * np.pi * np.outer(f / rate, k)) @ h)
    return 20 * np.log10(np.maximum(out, 1e-20))


def fft_response_db(h, rate, points=1 << 22):
    h = np.asarray(h, np.float64)
    size = max(points, 1 << int(math.ceil(math.log2(len(h) * 8))))
    H = np.abs(np.fft.rfft(h, size))
    return np.arange(len(H)) * rate / size, 20 * np.log10(np.maximum(H, 1e-20))


# ---------------------------------------------------------------- cascades
def stage_rates(fs_in, ups, downs):
    r = fs_in
    out = []
    for u, d in zip(ups, downs):
        out.append((r, r * u, r * u / d))
        r = r * u / d
    return out


def steep_edges(fs_in, fs_out, ups, downs, steep, f_pass):
    """Stop edge per stage (Hz at the stage's interpolated rate).

    With F the lower Nyquist frequency of the whole conversion:
    - a stage before the steep one may pass anything that then folds no
      lower than F, since the steep stage removes it later: stop at q - F
      (q its output rate);
    - the steep stage stops at F;
    - a stage after it sees nothing above F but its own images, which start
      at r - F (r its input rate): stop there.
    Never above the stage's own Nyquist frequency at the interpolated rate.
    """
    nyq = min(fs_in, fs_out) / 2.0
    edges = []
    for i, (r, big, q) in enumerate(stage_rates(fs_in, ups, downs)):
        if i < steep:
            s = q - nyq
        elif i == steep:
            s = nyq
        else:
            s = r - nyq
        edges.append(min(s, big / 2.0))
    return edges


def plan_cost(fs_in, fs_out, ups, downs, steep, f_pass, a):
    nyq = min(fs_in, fs_out) / 2.0
    total = 0.0
    stages = []
    for (r, big, q), u, d, s in zip(stage_rates(fs_in, ups, downs), ups, downs,
                                    steep_edges(fs_in, fs_out, ups, downs, steep, f_pass)):
        if s <= f_pass * 1.0001:
            return None
        n = kaiser_length(a, s - f_pass, big, u)
        taps = n // u
        macs = taps * q / fs_in  # per input sample of the conversion
        stages.append(dict(up=u, down=d, rate_in=r, rate_big=big, rate_out=q, stop=s, n=n, taps=taps, macs=macs))
        total += macs
    if min(st["rate_out"] for st in stages) < min(fs_in, fs_out) - 1e-6:
        return None
    return total, stages


def current_cost(fs_in, ups, downs):
    total = 0.0
    rows = []
    for (r, big, q), u, d in zip(stage_rates(fs_in, ups, downs), ups, downs):
        n = current_length(u, d)
        macs = n // u * q / fs_in
        rows.append(dict(up=u, down=d, n=n, taps=n // u, macs=macs))
        total += macs
    return total, rows


def planner_cost_today(fs_in, fs_out, ups, downs):
    """The planner's cost today: up * down + output rate in units of fs_in / M."""
    g = math.gcd(fs_in, fs_out)
    unit = fs_in // (fs_in // g)
    rates = stage_rates(fs_in, ups, downs)
    if min(q for _, _, q in rates) < min(fs_in, fs_out) - 1e-6:
        return None
    return sum(u * d + q / unit for (_, _, q), u, d in zip(rates, ups, downs))


def todays_plan(fs_in, fs_out):
    g = math.gcd(fs_in, fs_out)
    L, M = fs_out // g, fs_in // g
    best = None
    for k in (1, 2, 3, 4):
        for ups in ordered_factorisations(L, k):
            for downs in ordered_factorisations(M, k):
                if any(u == 1 and d == 1 for u, d in zip(ups, downs)):
                    continue
                c = planner_cost_today(fs_in, fs_out, ups, downs)
                if c is not None and (best is None or c < best[0]):
                    best = (c, ups, downs)
    return best[1], best[2]


def ordered_factorisations(n, k):
    """All k-tuples of positive integers whose product is n."""
    if k == 1:
        return [(n,)]
    out = []
    for d in range(1, n + 1):
        if n % d == 0:
            for rest in ordered_factorisations(n // d, k - 1):
                out.append((d,) + rest)
    return out


def best_steep_plans(fs_in, fs_out, f_pass, a, max_stages=4, keep=3):
    g = math.gcd(fs_in, fs_out)
    L, M = fs_out // g, fs_in // g
    found = []
    for k in range(1, max_stages + 1):
        for ups in ordered_factorisations(L, k):
            for downs in ordered_factorisations(M, k):
                if any(u == 1 and d == 1 for u, d in zip(ups, downs)):
                    continue
                for steep in range(k):
                    res = plan_cost(fs_in, fs_out, ups, downs, steep, f_pass, a)
                    if res:
                        found.append((res[0], ups, downs, steep, res[1]))
    found.sort(key=lambda x: x[0])
    return found[:keep]


# ---------------------------------------------------------------- reports
CONVERSIONS = [(44100, 48000), (48000, 44100), (96000, 44100), (44100, 96000)]


def check_today_model():
    """Today's cascade response at the measured alias point, 96 -> 44.1 kHz."""
    ups, downs = todays_plan(96000, 44100)
    print("== today's filters: composite response of the planner's 96 -> 44.1 kHz plan "
          + ", ".join(f"{u}/{d}" for u, d in zip(ups, downs)))
    freqs = np.array([20000.0, 21000.0, 21500.0, 22050.0, 22550.0, 22560.0, 23000.0, 24000.0])
    total = np.zeros(len(freqs))
    for (r, big, q), u, d in zip(stage_rates(96000, ups, downs), ups, downs):
        total += response_db(current_filter(u, d), big, freqs)
    for f, v in zip(freqs, total):
        print(f"   {f:8.0f} Hz {v:8.2f} dB")
    # The sinc is centred at n/2 and the window at (n-1)/2: how much does that cost?
    for u, d in ((7, 8), (3, 8)):
        n = current_length(u, d)
        big = 1.0
        f, h0 = fft_response_db(current_filter(u, d), big)
        f, h1 = fft_response_db(current_filter(u, d, centre_offset=-0.5), big)
        stop = f > 1.25 * 0.977 / max(u, d) / 2
        print(f"   stage {u}/{d}: n={n}, stopband peak {h0[stop].max():.1f} dB as built, "
              f"{h1[stop].max():.1f} dB with the sinc centred on the window")


def float_floor_study(a_values=(140, 150, 160, 170)):
    print("== float coefficients: stopband of Kaiser sincs after rounding to float")
    print("   (a 1/7-band interpolating filter at 672 kHz, 8 kHz transition)")
    big, up = 672000.0, 7
    for a in a_values:
        n = kaiser_length(a, 2000.0, big, up)
        h = kaiser_filter(n, 21050.0, big, a)
        hd = None
        f, r = fft_response_db(h, big)
        stop = f >= 22050.0
        ph = (f > 1000) & (f < 20000)
        print(f"   design {a} dB, n={n}: float stopband peak {r[stop].max():.1f} dB, "
              f"passband ripple {np.ptp(r[ph]):.2e} dB")


def float_stopband(stage, f_pass, a):
    """Peak stopband level (dB) of the stage's filter with float coefficients."""
    fc = (f_pass + stage["stop"]) / 2.0
    h = kaiser_filter(stage["n"], fc, stage["rate_big"], a)
    f, r = fft_response_db(h, stage["rate_big"])
    return float(r[f >= stage["stop"]].max()), h


def describe(stages):
    return "; ".join(f"{s['up']}/{s['down']}: stop {s['stop'] / 1000:.2f} kHz, n={s['n']}, "
                     f"{s['taps']} taps, {s['macs']:.1f} macs" for s in stages)


def cost_tables(f_pass_ratio, a, check_float=True):
    print(f"== steep setting: pass edge {f_pass_ratio} of the lower Nyquist, stop edge 1.0, "
          f"Kaiser {a} dB (beta {kaiser_beta(a):.2f})")
    best_plans = {}
    for fs_in, fs_out in CONVERSIONS:
        nyq = min(fs_in, fs_out) / 2.0
        f_pass = f_pass_ratio * nyq
        ups, downs = todays_plan(fs_in, fs_out)
        today, rows = current_cost(fs_in, ups, downs)
        print(f"-- {fs_in} -> {fs_out}: today's plan " + ", ".join(f"{u}/{d}" for u, d in zip(ups, downs))
              + f": {today:.1f} multiply-adds per input sample ("
              + ", ".join(f"n={r['n']}, {r['taps']} taps" for r in rows) + ")")
        for steep in range(len(ups)):
            res = plan_cost(fs_in, fs_out, ups, downs, steep, f_pass, a)
            if res is not None:
                print(f"   today's stages, steep stage {steep + 1}: {res[0]:.1f} ({res[0] / today:.2f}x): "
                      + describe(res[1]))
        plans = best_steep_plans(fs_in, fs_out, f_pass, a)
        for total, ups_b, downs_b, steep, st in plans:
            table = sum(s["up"] * 8 * ((s["taps"] + 14) // 8 * 8) * 8 for s in st) / 2 ** 20
            print(f"   best: " + ", ".join(f"{u}/{d}" for u, d in zip(ups_b, downs_b))
                  + f", steep stage {steep + 1}: {total:.1f} ({total / today:.2f}x), tables {table:.1f} MiB: "
                  + describe(st))
        best_plans[(fs_in, fs_out)] = plans[0]
        if check_float:
            total, ups_b, downs_b, steep, st = plans[0]
            peaks = [float_stopband(s, f_pass, a)[0] for s in st]
            print("   float coefficients, best plan: stopband peaks " + ", ".join(f"{p:.1f}" for p in peaks) + " dB")
    return best_plans


def composite_edge(fs_in, fs_out, plan, f_pass, a):
    """-0.1 dB edge and level at the lower Nyquist of a plan's cascade."""
    total, ups, downs, steep, st = plan
    nyq = min(fs_in, fs_out) / 2.0
    freqs = np.linspace(0.85 * nyq, nyq, 1501)
    resp = np.zeros(len(freqs))
    for s in st:
        fc = (f_pass + s["stop"]) / 2.0
        resp += response_db(kaiser_filter(s["n"], fc, s["rate_big"], a), s["rate_big"], freqs)
    below = np.nonzero(resp < -0.1)[0]
    return freqs[below[0]] / nyq, resp[-1]


def run_cascade(x, fs_in, stages, float_between):
    from scipy.signal import upfirdn
    y = x.astype(np.float32).astype(np.float64) if float_between else x.copy()
    for up, down, h in stages:
        y = upfirdn(np.asarray(h, np.float64) * up, y, up, down)
        if float_between:
            y = y.astype(np.float32).astype(np.float64)
    return y


def thdn_of(y, fs):
    seg = y[len(y) // 2 - (1 << 16):len(y) // 2 + (1 << 16)]
    w = np.kaiser(len(seg), 24)
    p = np.abs(np.fft.rfft(seg * w)) ** 2
    f = np.arange(len(p)) * fs / len(seg)
    k = int(np.argmax(p))
    fund = p[k - 12:k + 13].sum()
    band = (f >= 20) & (f <= 20000)
    band[k - 12:k + 13] = False
    return 10 * np.log10(p[band].sum() / fund)


def intermediate_noise(best_plans, f_pass_ratio, a):
    """THD+N of a 997 Hz -1 dBFS sine, 96 -> 44.1 kHz, before any output
    requantisation: double intermediates isolate the filters' own leakage,
    float intermediates add the rounding between stages."""
    print("== THD+N before output requantisation, 96 -> 44.1 kHz, 997 Hz at -1 dBFS")
    fs = 96000
    t = np.arange(3 * fs) / fs
    x = 10 ** (-1 / 20) * np.sin(2 * np.pi * 997 * t)
    ups, downs = todays_plan(96000, 44100)
    today = [(u, d, current_filter(u, d)) for u, d in zip(ups, downs)]
    total, ups_b, downs_b, steep, st = best_plans[(96000, 44100)]
    f_pass = f_pass_ratio * 22050.0
    steep_stages = [(s["up"], s["down"], float_stopband(s, f_pass, a)[1]) for s in st]
    for name, stages in (("today", today), ("steep", steep_stages)):
        for between in (False, True):
            y = run_cascade(x, fs, stages, between)
            print(f"   {name:5s} filters, {'float' if between else 'double'} between stages: "
                  f"{thdn_of(y, 44100):.1f} dB")


def main():
    quick = "--quick" in sys.argv
    a = 160.0
    for arg in sys.argv[1:]:
        if arg.startswith("--attenuation="):
            a = float(arg.split("=", 1)[1])
    check_today_model()
    float_floor_study()
    for ratio in ((0.93,) if quick else (0.91, 0.93, 0.95)):
        plans = cost_tables(ratio, a)
        print("   composite -0.1 dB edge / level at the lower Nyquist, best plans: " + ", ".join(
            f"{i}->{o}: {e:.3f} / {v:.0f} dB" for (i, o), p in plans.items()
            for e, v in [composite_edge(i, o, p, ratio * min(i, o) / 2.0, a)]))
        if ratio == 0.93:
            intermediate_noise(plans, ratio, a)


if __name__ == "__main__":
    main()
