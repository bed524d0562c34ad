#!/usr/bin/env python3
"""Measures sampling-rate converters the way their filters are judged.

Drives each named converter command on generated 24-bit test signals, reads
what it writes and draws, for all of them side by side:
  - the spectrogram of a 20 Hz to Nyquist sweep, 96 -> 44.1 kHz and
    44.1 -> 96 kHz, with the worst alias (down) and worst image (up);
  - the passband and transition response, with the -0.1 dB edge;
  - the impulse response, 96 -> 44.1 kHz;
  - THD+N of a -1 dBFS 997 Hz sine, 96 -> 44.1 kHz.

A configuration is NAME=COMMAND. The command is split like a shell line and
each word may use {in} (the input file), {outdir} (an empty folder), {out}
({outdir}/ plus the input's file name, where the converter must write),
{rate} (the output rate) and {bits} (the output width). Outputs may be
integer PCM or IEEE float WAVE files. Without --config the configurations
are this project's converter (build/release/marrowvale) with each filter
setting, and sox -h and -v.

Definitions:
  sweep       linear, 20 Hz to the input's Nyquist frequency in --duration
              seconds (20), -1 dBFS, 50 ms fades, rounded 24-bit PCM.
  analysis    Kaiser window, beta 24 (sidelobes -188 dB), about 93 ms long,
              hop 1/16 of it. Levels are in dB relative to the sweep as it
              reads in the same analysis: a spur that sweeps as fast as the
              sweep (every alias and image does) reads its amplitude
              relative to the sweep; a steady tone reads about 2 dB higher.
  worst alias / worst image
              the highest level, over the whole sweep, at any output
              frequency from 20 Hz to the output's Nyquist frequency that is
              at least --exclusion Hz (1000) away from the sweep's
              instantaneous frequency. Within that band lie the sweep's own
              main lobe and smear (under 200 Hz wide at -150 dB) and, close
              to the output's Nyquist frequency, the transition band, which
              the response plot shows: aliases landing within 500 Hz of the
              output's Nyquist frequency are not counted. A reading counts
              only if it is 3 dB above the expected maximum of the output's
              noise in that frame; if none does, the noise floor is given.
  response    the level of the sweep (below the lower Nyquist frequency)
              and of the alias or images that carry the filter's response
              beyond it, against frequency at the higher rate. The -0.1 dB
              edge is the lowest frequency from 1 kHz up where the response
              falls below -0.1 dB.
  THD+N       997 Hz, -1 dBFS, 96 -> 44.1 kHz: output power from 20 Hz to
              20 kHz outside the sine's main lobe, relative to the sine.
"""
import argparse
import json
import os
import re
import shlex
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))

DEFAULT_CONFIGS = [
    "filter 0=" + os.path.join(ROOT, "build/release/marrowvale") + " {in} -o {outdir} -s {rate} -b {bits}",
    "filter 1=" + os.path.join(ROOT, "build/release/marrowvale") + " {in} -o {outdir} -s {rate} -b {bits} --filter 1",
    "sox -h=sox {in} -b {bits} {out} rate -h {rate}",
    "sox -v=sox {in} -b {bits} {out} rate -v {rate}",
]

HIGH, LOW = 96000, 44100


def parse_config(text):
    name, sep, command = text.partition("=")
    if not sep or not name.strip() or not command.strip():
        raise argparse.ArgumentTypeError(f"not NAME=COMMAND: {text!r}")
    return name.strip(), shlex.split(command)


def slug(name):
    return re.sub(r"[^A-Za-z0-9]+", "_", name).strip("_") or "config"


class Runner:
    def __init__(self, work, bits):
        self.work = work
        self.bits = bits

    def convert(self, config, input_path, rate, tag):
        import fm_wav
        name, words = config
        outdir = os.path.join(self.work, slug(name), tag)
        os.makedirs(outdir, exist_ok=True)
        out = os.path.join(outdir, os.path.basename(input_path))
        fields = {"in": input_path, "outdir": outdir, "out": out, "rate": rate, "bits": self.bits}
        argv = [w.format(**fields) for w in words]
        done = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        if done.returncode != 0 or not os.path.exists(out):
            raise RuntimeError(f"{name}: {' '.join(argv)} failed ({done.returncode}):\n"
                               f"{done.stderr.strip()[-2000:]}")
        y, fs, info = fm_wav.read(out)
        if fs != rate:
            raise RuntimeError(f"{name}: wrote {fs} Hz, asked for {rate} Hz")
        return y[:, 0], info

    def time_conversion(self, config, input_path, rate, runs):
        name, words = config
        outdir = os.path.join(self.work, slug(name), "timing")
        os.makedirs(outdir, exist_ok=True)
        fields = {"in": input_path, "outdir": outdir, "out": os.path.join(outdir, os.path.basename(input_path)),
                  "rate": rate, "bits": self.bits}
        argv = [w.format(**fields) for w in words]
        times = []
        for _ in range(runs + 1):  # the first run warms the caches and is dropped
            start = time.perf_counter()
            subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
            times.append(time.perf_counter() - start)
        return statistics.median(times[1:])


def fmt_worst(r):
    w = r.get("worst")
    if w is None:
        return f"< {r['threshold_db']:.1f} (noise)"
    return f"{w['db']:.1f} (in {w['input_hz'] / 1000:.2f}, out {w['output_hz'] / 1000:.2f} kHz)"


def markdown_table(results, configs):
    names = [c[0] for c in configs]
    lines = ["| | " + " | ".join(names) + " |", "|---" * (len(names) + 1) + "|"]

    def row(label, fn):
        cells = []
        for n in names:
            try:
                cells.append(fn(results[n]))
            except (KeyError, TypeError):
                cells.append("-")
        lines.append(f"| {label} | " + " | ".join(cells) + " |")

    row("96 → 44.1 kHz, worst alias (dB)", lambda r: fmt_worst(r["down"]))
    row("44.1 → 96 kHz, worst image (dB)", lambda r: fmt_worst(r["up"]))
    row("−0.1 dB edge, 96 → 44.1 (of 22.05 kHz)",
        lambda r: f"{r['down']['response']['edge_0p1_hz'] / 1000:.2f} kHz "
                  f"({r['down']['response']['edge_0p1_hz'] / 22050:.3f})")
    row("−0.1 dB edge, 44.1 → 96 (of 22.05 kHz)",
        lambda r: f"{r['up']['response']['edge_0p1_hz'] / 1000:.2f} kHz "
                  f"({r['up']['response']['edge_0p1_hz'] / 22050:.3f})")
    row("response at 22.05 kHz, 96 → 44.1 (dB)", lambda r: f"{r['down']['response']['at_lower_nyquist_db']:.1f}")
    row("first −130 dB, 96 → 44.1 (kHz)", lambda r: f"{r['down']['response']['minus130db_hz'] / 1000:.2f}")
    row("THD+N, 997 Hz −1 dBFS, 96 → 44.1 (dB)", lambda r: f"{r['thdn']['db']:.1f}")
    row("noise floor per bin, 96 → 44.1 sweep (dB)", lambda r: f"{r['down']['noise_floor_db']:.1f}")
    if any("timing_s" in results.get(n, {}) for n in names):
        row("time, 96 → 44.1 kHz (s)", lambda r: f"{r['timing_s']:.3f}")
    return "\n".join(lines) + "\n"


def sweep_result(analysis):
    import fm_analysis
    points = analysis.response()
    lower = min(analysis.sweep.input_rate, analysis.fs_out) / 2.0
    return {
        "worst": analysis.worst,
        "worst_including_noise": analysis.worst_any,
        "noise_floor_db": analysis.noise_floor_db,
        "threshold_db": analysis.threshold_db,
        "delay_s": analysis.delay,
        "frame": analysis.sgram.n,
        "response": fm_analysis.response_summary(points, lower),
    }, points


def measure(args, configs):
    import fm_analysis
    import fm_plots
    import fm_wav

    os.makedirs(args.out, exist_ok=True)
    work = tempfile.mkdtemp(prefix="filter_measure_")
    runner = Runner(work, args.bits)
    try:
        inputs = os.path.join(work, "in")
        os.makedirs(inputs)
        sweep_down = fm_analysis.Sweep(HIGH, args.duration)
        sweep_up = fm_analysis.Sweep(LOW, args.duration)
        files = {
            "down": os.path.join(inputs, "sweep_96k.wav"),
            "up": os.path.join(inputs, "sweep_44k1.wav"),
            "thdn": os.path.join(inputs, "sine_997_96k.wav"),
            "impulse": os.path.join(inputs, "impulse_96k.wav"),
        }
        fm_wav.write(files["down"], sweep_down.samples(), HIGH, 24)
        fm_wav.write(files["up"], sweep_up.samples(), LOW, 24)
        fm_wav.write(files["thdn"], fm_analysis.sine(HIGH), HIGH, 24)
        fm_wav.write(files["impulse"], fm_analysis.impulse(HIGH), HIGH, 24)

        results, down_views, up_views, down_curves, up_curves, impulses = {}, [], [], [], [], []
        for config in configs:
            name = config[0]
            print(f"measuring {name} ...", file=sys.stderr)
            r = {}
            y, info = runner.convert(config, files["down"], LOW, "down")
            r["output_format"] = info
            a = fm_analysis.SweepAnalysis(y, LOW, sweep_down, args.exclusion, args.frame)
            r["down"], points = sweep_result(a)
            down_views.append((name, a, r["down"]))
            down_curves.append((name, points, r["down"]["response"]))

            y, _ = runner.convert(config, files["up"], HIGH, "up")
            a = fm_analysis.SweepAnalysis(y, HIGH, sweep_up, args.exclusion, args.frame)
            r["up"], points = sweep_result(a)
            up_views.append((name, a, r["up"]))
            up_curves.append((name, points, r["up"]["response"]))

            y, _ = runner.convert(config, files["thdn"], LOW, "thdn")
            value, level = fm_analysis.thd_n(y, LOW)
            r["thdn"] = {"db": value, "fundamental_dbfs": level}

            y, _ = runner.convert(config, files["impulse"], LOW, "impulse")
            impulses.append((name, y))
            if args.timing:
                r["timing_s"] = runner.time_conversion(config, args.timing_file, LOW, args.timing_runs)
            results[name] = r
            # The large arrays of the spectrogram stay only as long as the figures need them.

        fm_plots.spectrograms(os.path.join(args.out, "sweep_96k_to_44k1.png"), down_views,
                              "96 → 44.1 kHz, 24-bit: spectrogram of a 20 Hz – 48 kHz sweep")
        fm_plots.spectrograms(os.path.join(args.out, "sweep_44k1_to_96k.png"), up_views,
                              "44.1 → 96 kHz, 24-bit: spectrogram of a 20 Hz – 22.05 kHz sweep")
        fm_plots.responses(os.path.join(args.out, "response_96k_to_44k1.png"), down_curves, LOW / 2, HIGH / 2,
                           "96 → 44.1 kHz: passband and transition")
        fm_plots.responses(os.path.join(args.out, "response_44k1_to_96k.png"), up_curves, LOW / 2, HIGH / 2,
                           "44.1 → 96 kHz: passband and transition")
        fm_plots.impulses(os.path.join(args.out, "impulse_96k_to_44k1.png"), impulses, LOW,
                          "96 → 44.1 kHz: impulse response")
        table = markdown_table(results, configs)
        with open(os.path.join(args.out, "results.json"), "w") as f:
            json.dump({"configs": {c[0]: " ".join(c[1]).replace(ROOT + os.sep, "") for c in configs},
                       "results": results}, f, indent=1)
        with open(os.path.join(args.out, "results.md"), "w") as f:
            f.write(table)
        print(table)
    finally:
        if args.keep:
            print(f"kept the signals and outputs in {work}", file=sys.stderr)
        else:
            shutil.rmtree(work, ignore_errors=True)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--config", action="append", type=parse_config, metavar="NAME=COMMAND",
                        help="a converter to measure (repeat for several)")
    parser.add_argument("--out", default=os.path.join(ROOT, "out", "filter_measure"),
                        help="folder for the figures, results.json and results.md")
    parser.add_argument("--duration", type=float, default=20.0, help="sweep length in seconds")
    parser.add_argument("--exclusion", type=float, default=1000.0,
                        help="half-width in Hz of the band around the sweep that is not counted")
    parser.add_argument("--frame", type=float,
                        help="analysis frame in seconds, rounded to a power of two samples "
                             "(default: the least smearing, about 4.5 / sqrt(sweep rate))")
    parser.add_argument("--bits", type=int, default=24, help="the {bits} of the commands")
    parser.add_argument("--timing", action="store_true",
                        help="also time each configuration, 96 -> 44.1 kHz, on --timing-file")
    parser.add_argument("--timing-file", help="input for --timing (default: 60 s of stereo 96 kHz noise)")
    parser.add_argument("--timing-runs", type=int, default=3)
    parser.add_argument("--keep", action="store_true", help="keep the generated signals and outputs")
    parser.add_argument("--self-test", action="store_true",
                        help="check the analysis on synthetic signals with known answers, then exit")
    args = parser.parse_args(argv)
    sys.path.insert(0, HERE)
    if args.self_test:
        import fm_selftest
        return fm_selftest.run()
    configs = args.config or [parse_config(c) for c in DEFAULT_CONFIGS]
    if args.timing and not args.timing_file:
        import numpy as np
        import fm_wav
        args.timing_file = os.path.join(tempfile.mkdtemp(prefix="filter_measure_timing_"), "noise_96k.wav")
        noise = np.random.default_rng(7).uniform(-0.5, 0.5, (60 * HIGH, 2))
        fm_wav.write(args.timing_file, noise, HIGH, 24)
    measure(args, configs)
    return 0


if __name__ == "__main__":
    sys.exit(main())
