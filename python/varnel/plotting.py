"""Pictures of time-frequency maps with matplotlib, drawn off-screen.

Figures are built as ``matplotlib.figure.Figure`` objects and saved
directly, without pyplot, so nothing here opens a window or touches the
interactive backend of a session that imports it. Sizes are fixed (no
tight bounding box), so that the pictures of a run are all alike:

- one representation: WIDTH x (1 + PANEL_HEIGHT * channels) inches;
- the overview: OVERVIEW_WIDTH x (3 + 3 * rows) inches, two panels a row;
both at DPI.
"""
import numpy as np

DPI = 100
WIDTH = 8.0
PANEL_HEIGHT = 3.5
OVERVIEW_WIDTH = 12.0
DYNAMIC_RANGE = 80.0   # dB shown below the largest value
MAX_COLUMNS = 1600     # frames drawn; longer maps are reduced by maxima
COLORMAP = "magma"


def figure_size(channels=1):
    """(width, height) in pixels of a representation figure."""
    return int(round(WIDTH * DPI)), int(round((1.0 + PANEL_HEIGHT * channels) * DPI))


def _overview_rows(panels):
    return max(1, -(-panels // 2))


def overview_size(panels):
    """(width, height) in pixels of the overview of ``panels`` maps."""
    return int(round(OVERVIEW_WIDTH * DPI)), int(round((3.0 + 3.0 * _overview_rows(panels)) * DPI))


def _figure(size):
    from matplotlib.figure import Figure
    return Figure(figsize=size, dpi=DPI, layout="constrained")


def _save(fig, path):
    """PNG with a 256-colour palette: the maps' colour scale has no more
    than that anyway, and the files come out at about half the size of
    full-colour ones. Without Pillow (matplotlib normally brings it) the
    figure is saved as it is."""
    try:
        from PIL import Image
        from matplotlib.backends.backend_agg import FigureCanvasAgg
    except ImportError:
        fig.savefig(path, dpi=DPI, format="png")
        return
    canvas = FigureCanvasAgg(fig)
    canvas.draw()
    image = Image.frombuffer("RGBA", canvas.get_width_height(), canvas.buffer_rgba(), "raw", "RGBA", 0, 1)
    # The octree quantiser keeps the colour bar's gradient smooth where the
    # default median cut spends the palette on the busy maps and bands it.
    octree = getattr(getattr(Image, "Quantize", Image), "FASTOCTREE")
    image.convert("RGB").quantize(256, method=octree).save(path, format="PNG", optimize=True)


def level_db(values):
    """Decibels: 20 log10 |v| for complex values (amplitudes), 10 log10 v
    for real ones (energies). The quadratic distributions go negative where
    their interference terms oscillate; those values, like zeros, become
    -inf and are drawn at the bottom of the scale."""
    values = np.asarray(values)
    with np.errstate(divide="ignore"):
        if np.iscomplexobj(values):
            return 20.0 * np.log10(np.abs(values))
        return 10.0 * np.log10(np.maximum(values, 0.0))


def _prepared(tf):
    """(image bins x frames in dB, times, sorted freqs) ready for imshow."""
    db = level_db(tf)
    times, freqs = np.asarray(tf.times), np.asarray(tf.freqs)
    order = np.argsort(freqs, kind="stable")
    db, freqs = db[:, order], freqs[order]
    frames = db.shape[0]
    if frames > MAX_COLUMNS:
        # Maxima keep short events visible where a plain decimation would
        # step over them.
        factor = -(-frames // MAX_COLUMNS)
        groups = frames // factor
        db = db[:groups * factor].reshape(groups, factor, -1).max(axis=1)
        times = times[:groups * factor].reshape(groups, factor).mean(axis=1)
    return db.T, times, freqs


def _extent(times, freqs, fs):
    dt = times[1] - times[0] if len(times) > 1 else 1.0 / fs
    df = freqs[1] - freqs[0] if len(freqs) > 1 else fs / 2
    return [times[0] - dt / 2, times[-1] + dt / 2, freqs[0] - df / 2, freqs[-1] + df / 2]


def _draw_truth(ax, truth, extent):
    if not truth:
        return
    t = np.linspace(extent[0], extent[1], 400)
    for component, style in zip(truth, ("--", ":", "-.", (0, (5, 1)))):
        ax.plot(t, component.frequency(t), linestyle=style, color="#4fd1ff", linewidth=1.1,
                alpha=0.9, label=component.name)


def frequency_track(tf):
    """The instantaneous-frequency track (the frequency centroid of every
    time slice, gaps bridged) of a 2-D TFArray, in Hz: (times, freqs).
    Complex maps count by their power |X|^2."""
    from .gabor import instantaneous_frequency
    values = np.abs(np.asarray(tf)) ** 2 if np.iscomplexobj(tf) else np.asarray(tf)
    freq, _ = instantaneous_frequency(type(tf)(values, tf.times, tf.freqs, tf.fs))
    return np.asarray(tf.times), np.asarray(freq)


def _draw_track(ax, track):
    if track is None:
        return
    times, freqs = track
    # A light outline under the line keeps it readable over both the dark
    # floor and the bright ridges of the map.
    ax.plot(times, freqs, color="white", linewidth=2.2, alpha=0.7)
    ax.plot(times, freqs, color="#2ca02c", linewidth=1.2, label="instantaneous frequency")


def draw_map(ax, tf, title, dynamic_range=DYNAMIC_RANGE, truth=None, track=None):
    """Draw one 2-D TFArray on ``ax``, with the ground truth's frequency
    lines and a (times, freqs) instantaneous-frequency track over it when
    given; returns the image for a colour bar."""
    image, times, freqs = _prepared(tf)
    finite = image[np.isfinite(image)]
    top = float(finite.max()) if finite.size else 0.0
    extent = _extent(times, freqs, tf.fs)
    shown = ax.imshow(np.nan_to_num(image, neginf=top - dynamic_range), origin="lower", aspect="auto",
                      extent=extent, cmap=COLORMAP, vmin=top - dynamic_range, vmax=top,
                      interpolation="nearest")
    ax.set_xlabel("Time (s)")
    ax.set_ylabel("Frequency (Hz)")
    ax.set_title(title, fontsize=10)
    _draw_truth(ax, truth, extent)
    _draw_track(ax, track)
    if truth or track is not None:
        ax.set_xlim(extent[0], extent[1])
        ax.set_ylim(extent[2], extent[3])
        ax.legend(loc="upper left", fontsize=7, framealpha=0.6)
    return shown


def save_representation(path, tf, title, channel_names=None, truth=None, dynamic_range=DYNAMIC_RANGE,
                        tracks=False):
    """One panel per channel of ``tf`` (frames x bins, or channels x frames
    x bins), each with its colour bar in dB and, with ``tracks=True``, its
    instantaneous-frequency track; saved as PNG at ``path``."""
    maps = [tf] if tf.ndim == 2 else [tf[c] for c in range(tf.shape[0])]
    fig = _figure((WIDTH, 1.0 + PANEL_HEIGHT * len(maps)))
    axes = fig.subplots(len(maps), 1, squeeze=False)[:, 0]
    for c, (ax, tf_c) in enumerate(zip(axes, maps)):
        name = title
        if len(maps) > 1:
            name = "%s - %s" % (title, channel_names[c] if channel_names else "channel %d" % (c + 1))
        image = draw_map(ax, tf_c, name, dynamic_range, truth, frequency_track(tf_c) if tracks else None)
        fig.colorbar(image, ax=ax, label="Level (dB)", pad=0.01, fraction=0.05)
    _save(fig, path)


def _draw_waveform(ax, x, fs, columns=1200):
    """The signal as the band between its minimum and maximum over each of
    ``columns`` spans: what a line through every sample looks like at this
    size, at a fraction of the drawing (and PNG) cost."""
    if len(x) <= 2 * columns:
        ax.plot(np.arange(len(x)) / fs, x, linewidth=0.5, color="#303030")
        return
    edges = np.linspace(0, len(x), columns + 1).astype(int)
    low = np.minimum.reduceat(x, edges[:-1])
    high = np.maximum.reduceat(x, edges[:-1])
    t = (edges[:-1] + edges[1:]) / (2.0 * fs)
    ax.fill_between(t, low, high, color="#303030", linewidth=0)


def save_overview(path, x, fs, panels, truth=None, title=None):
    """The signal over time on top, then one panel per (title, TFArray,
    dynamic range in dB[, True to draw its instantaneous-frequency track])."""
    rows = _overview_rows(len(panels))
    columns = 2 if len(panels) > 1 else 1
    fig = _figure((OVERVIEW_WIDTH, 3.0 + 3.0 * rows))
    # Separate sub-figures, so that the wide signal panel does not tie the
    # colour bars of the maps below to its own right edge.
    top, bottom = fig.subfigures(2, 1, height_ratios=[1.0, 1.5 * rows])
    wave = top.subplots()
    _draw_waveform(wave, np.real(x), fs)
    wave.set_xlim(0, len(x) / fs)
    wave.set_xlabel("Time (s)")
    wave.set_ylabel("Amplitude")
    wave.set_title(title or "Signal", fontsize=10)
    axes = bottom.subplots(rows, columns, squeeze=False).ravel()
    for ax, (name, tf, dynamic_range, *track) in zip(axes, panels):
        image = draw_map(ax, tf, name, dynamic_range, truth, frequency_track(tf) if any(track) else None)
        bottom.colorbar(image, ax=ax, label="Level (dB)", pad=0.01, fraction=0.05)
    for ax in axes[len(panels):]:
        ax.set_visible(False)
    _save(fig, path)
