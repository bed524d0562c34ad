"""The figures: one panel or one curve per configuration."""
import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

from fm_analysis import db  # noqa: E402

FLOOR_DB = -180.0  # a 180 dB colour range


def _save(fig, path, dpi=80):
    """Saves as a 256-colour PNG: the noisy spectrograms shrink to about a
    third, small enough to keep in the repository."""
    import io
    from PIL import Image
    buffer = io.BytesIO()
    fig.savefig(buffer, format="png", dpi=dpi)
    plt.close(fig)
    buffer.seek(0)
    Image.open(buffer).convert("RGB").quantize(256).save(path, optimize=True)


def _panels(count, width=5.2, height=4.2):
    fig, axes = plt.subplots(1, count, figsize=(width * count + 1.2, height), squeeze=False,
                             constrained_layout=True)
    return fig, axes[0]


def _caption(result):
    w = result.get("worst")
    if w is None:
        return f"no spur above the noise (floor {result['noise_floor_db']:.0f} dB)"
    return (f"worst {w['db']:.1f} dB: in {w['input_hz'] / 1000:.2f} kHz, "
            f"out {w['output_hz'] / 1000:.2f} kHz")


def spectrograms(path, analyses, title, max_pixels=480):
    """analyses: list of (name, SweepAnalysis, result dict)."""
    fig, axes = _panels(len(analyses))
    image = None
    for ax, (name, a, result) in zip(axes, analyses):
        level = a.level_db()
        step = max(1, level.shape[0] // max_pixels)
        # Keep each pixel's maximum so that narrow spurs survive the thinning.
        rows = level[: level.shape[0] // step * step].reshape(-1, step, level.shape[1]).max(axis=1)
        bstep = max(1, rows.shape[1] // max_pixels)
        cols = rows[:, : rows.shape[1] // bstep * bstep].reshape(rows.shape[0], -1, bstep).max(axis=2)
        image = ax.imshow(cols.T, origin="lower", aspect="auto", cmap="inferno",
                          vmin=FLOOR_DB, vmax=0.0, interpolation="nearest",
                          extent=[a.sgram.centres[0], a.sgram.centres[-1], 0, a.fs_out / 2000.0])
        ax.set_title(f"{name}\n{_caption(result)}", fontsize=9)
        ax.set_xlabel("time (s)")
        ax.set_ylabel("output frequency (kHz)")
    bar = fig.colorbar(image, ax=list(axes), shrink=0.9)
    bar.set_label("dB relative to the sweep")
    fig.suptitle(title, fontsize=11)
    _save(fig, path)


def responses(path, curves, lower_nyquist, higher_nyquist, title):
    """curves: list of (name, points[:, 2], summary dict)."""
    fig, (full, zoom) = plt.subplots(1, 2, figsize=(12, 4.4), constrained_layout=True)
    for name, points, summary in curves:
        edge = summary.get("edge_0p1_hz")
        label = name if edge is None else f"{name}: -0.1 dB at {edge / 1000:.2f} kHz ({edge / lower_nyquist:.3f} of Nyquist)"
        line, = full.plot(points[:, 0] / 1000, points[:, 1], lw=0.9, label=name)
        zoom.plot(points[:, 0] / 1000, points[:, 1], lw=1.0, color=line.get_color(), label=label)
    for ax in (full, zoom):
        ax.axvline(lower_nyquist / 1000, color="grey", lw=0.8, ls="--")
        ax.grid(alpha=0.3)
        ax.set_xlabel("frequency (kHz)")
        ax.set_ylabel("dB")
    full.set_xlim(0, higher_nyquist / 1000)
    full.set_ylim(FLOOR_DB, 5)
    full.set_title("response (sweep, with its alias or images beyond the lower Nyquist)", fontsize=9)
    full.legend(fontsize=8, loc="lower left")
    zoom.axhline(-0.1, color="red", lw=0.7, ls=":")
    zoom.set_xlim(0.8 * lower_nyquist / 1000, 1.02 * lower_nyquist / 1000)
    zoom.set_ylim(-1.0, 0.1)
    zoom.set_title("passband edge (dotted: -0.1 dB; dashed: lower Nyquist)", fontsize=9)
    zoom.legend(fontsize=8, loc="lower left")
    fig.suptitle(title, fontsize=11)
    _save(fig, path)


def impulses(path, responses_, fs, title, linear_ms=1.5, log_ms=5.0):
    """responses_: list of (name, output samples)."""
    fig, (lin, log) = plt.subplots(1, 2, figsize=(12, 4.2), constrained_layout=True)
    for name, y in responses_:
        peak = int(np.argmax(np.abs(y)))
        h = y / y[peak]
        t = (np.arange(len(y)) - peak) / fs * 1000.0
        keep = np.abs(t) <= linear_ms
        lin.plot(t[keep], h[keep], marker=".", ms=3, lw=0.8, label=name)
        keep = np.abs(t) <= log_ms
        log.plot(t[keep], db(h[keep]), lw=0.6, label=name)
    lin.set_title("impulse response around its peak (linear)", fontsize=9)
    log.set_title("impulse response, magnitude (dB re peak)", fontsize=9)
    log.set_ylim(-160, 5)
    for ax in (lin, log):
        ax.set_xlabel("time from the peak (ms)")
        ax.grid(alpha=0.3)
        ax.legend(fontsize=8)
    fig.suptitle(title, fontsize=11)
    _save(fig, path)
