"""Pictures of time-frequency maps with matplotlib, drawn off-screen.

Figures are built as ``matplotlib.figure.Figure`` objects and saved
directly, without pyplot, so nothing here opens a window or touches the
interactive backend of a session that imports it. Sizes are fixed (no
tight bounding box), so that the pictures of a run are all alike:

- one representation: its channels as a grid of panels under one colour
  scale (``grid_shape``), one or two stacked WIDTH x PANEL_HEIGHT inches
  each, more in columns of GRID_PANEL_WIDTH x GRID_PANEL_HEIGHT, plus an
  inch for the titles; at most MAX_PANELS channels, so that no picture is
  larger than 2200 x 1220 pixels;
- the overview: OVERVIEW_WIDTH x (3 + 3 * rows) inches, two panels a row;
both at DPI.

A map that holds NaN or infinities, or has no positive level at all, is
refused with a ValueError before anything is drawn: as a uniform panel
under an ordinary colour bar it would pass for data.
"""
import math

import numpy as np

DPI = 100
WIDTH = 8.0
PANEL_HEIGHT = 3.5
GRID_PANEL_WIDTH = 5.5
GRID_PANEL_HEIGHT = 2.8
MAX_PANELS = 16        # channels one picture draws
OVERVIEW_WIDTH = 12.0
DYNAMIC_RANGE = 80.0   # dB shown below the largest value
MAX_COLUMNS = 1600     # frames drawn; longer maps are reduced by maxima
COLORMAP = "magma"
TRACK_LABEL = "mean frequency (centroid of each time slice)"

# The line under a picture, by the command line's method names: what the
# viewer sees, artefacts included. {order} is the Gabor spectrogram's
# order. The discrete Gabor transform and the Gabor spectrogram treat the
# signal as periodic, and their captions say where that shows. At about
# 440 pixels in italic 8 pt, a caption is no wider than an overview panel;
# a wider one would push the panel's colour bar away.
CAPTIONS = {
    "stft": "the STFT's magnitude; the window trades time against frequency resolution",
    "spectrogram": "the STFT's energy; the window trades time against frequency resolution",
    "reassigned": "each cell moved to its energy's centre: ridges sharpen, weak cells scatter",
    "dgt": "periodic Gabor lattice: the lines at both edges are the signal wrapping round",
    "wvd": "sharpest ridges; the stripes between components are cross-terms, not signal",
    "cwd": "cross-terms smoothed into faint stripes, at the cost of wider ridges",
    "csd": "cone kernel: wider ridges, weaker cross-terms (stripes between components)",
    "gabor-sp": "up to order {order}: higher is sharper, with more interference; the end wraps to t = 0",
    "adaptive": "Gaussian chirplets found by pursuit, no cross-terms",
}


def caption(method, order):
    """The caption of a picture of ``method`` (a method name) drawn with
    the Gabor spectrogram order ``order``; "" for a method without one."""
    return CAPTIONS.get(method, "").format(order=order)


def grid_shape(channels):
    """(rows, columns) of the panels of ``channels`` maps: a near-square
    grid (two maps stacked), which with the panels' wide shape keeps the
    figure between square and twice as wide as high whatever the count."""
    columns = round(math.sqrt(channels))
    return -(-channels // columns), columns


def figure_size(channels=1):
    """(width, height) in pixels of a representation of ``channels`` maps."""
    rows, columns = grid_shape(channels)
    width, height = (WIDTH, PANEL_HEIGHT) if columns == 1 else (GRID_PANEL_WIDTH * columns, GRID_PANEL_HEIGHT)
    return int(round(width * DPI)), int(round((1.0 + height * rows) * DPI))


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
    -inf, which the pictures draw at the bottom of the scale."""
    values = np.asarray(values)
    with np.errstate(divide="ignore"):
        if np.iscomplexobj(values):
            return 20.0 * np.log10(np.abs(values))
        return 10.0 * np.log10(np.maximum(values, 0.0))


def _scale_top(maps, title, names=None):
    """The top of the colour scale shared by ``maps`` (2-D TFArrays, named
    ``names`` in a picture titled ``title``): their largest level in dB.
    Raises ValueError, with a sentence for the command line, when a map
    holds NaN or infinities or when none has a positive value: nothing is
    drawn from such maps."""
    for tf, name in zip(maps, names or [None] * len(maps)):
        bad = ~np.isfinite(np.asarray(tf))
        count = int(bad.sum())
        if count:
            frame, column = np.unravel_index(np.argmax(bad), bad.shape)
            raise ValueError("%s: the map holds %d non-finite value%s (first at t = %.6g s, f = %.6g Hz); "
                             "nothing was drawn" % (", ".join(filter(None, (title, name))), count,
                                                     "" if count == 1 else "s", tf.times[frame], tf.freqs[column]))
    top = max(float(np.max(level_db(tf))) for tf in maps)
    if top == -np.inf:
        state = "is zero everywhere" if not any(np.any(tf) for tf in maps) else "has no positive value"
        raise ValueError("%s: the map %s, so it has no level in dB to draw; nothing was drawn" % (title, state))
    return top


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
    """The mean-frequency track of a 2-D TFArray, in Hz: (times, freqs),
    the frequency centroid of every time slice, NaN where a slice has no
    energy, bridged where it dips negative. Where two components coexist
    it lies between them, following neither. Complex maps count by their
    power |X|^2."""
    from .tfmap import instantaneous_frequency
    values = np.abs(np.asarray(tf)) ** 2 if np.iscomplexobj(tf) else np.asarray(tf)
    freq, energy = instantaneous_frequency(type(tf)(values, tf.times, tf.freqs, tf.fs))
    # A slice with no energy at all has no frequency: a gap in the line,
    # not a point bridged across silence (or a line at 0 Hz through it).
    return np.asarray(tf.times), np.where(np.asarray(energy) == 0, np.nan, freq)


def _draw_track(ax, track):
    if track is None:
        return
    times, freqs = track
    # A light outline under the line keeps it readable over both the dark
    # floor and the bright ridges of the map.
    ax.plot(times, freqs, color="white", linewidth=2.2, alpha=0.7)
    ax.plot(times, freqs, color="#2ca02c", linewidth=1.2, label=TRACK_LABEL)


def _draw_map(ax, tf, title, top, dynamic_range, truth=None, track=None, legend=True):
    """Draw one 2-D TFArray on ``ax`` on the colour scale from ``top`` dB
    down ``dynamic_range``, with the ground truth's frequency lines and a
    (times, freqs) frequency track over it when given; returns the image
    for a colour bar."""
    image, times, freqs = _prepared(tf)
    floor = top - dynamic_range
    extent = _extent(times, freqs, tf.fs)
    shown = ax.imshow(np.nan_to_num(image, neginf=floor), origin="lower", aspect="auto", extent=extent,
                      cmap=COLORMAP, vmin=floor, vmax=top, interpolation="nearest")
    if image.max() < floor:
        # On a colour scale shared with louder maps: say why it is blank.
        ax.text(0.5, 0.5, "all below %.3g dB" % floor, transform=ax.transAxes, ha="center", va="center",
                color="white", fontsize=9)
    ax.set_xlabel("Time (s)")
    ax.set_ylabel("Frequency (Hz)")
    ax.set_title(title, fontsize=10)
    _draw_truth(ax, truth, extent)
    _draw_track(ax, track)
    if truth or track is not None:
        ax.set_xlim(extent[0], extent[1])
        ax.set_ylim(extent[2], extent[3])
        if legend:
            ax.legend(loc="upper left", fontsize=7, framealpha=0.6)
    return shown


def _draw_caption(ax, text):
    """``text`` in a line under the panel's time axis label, where the
    constrained layout makes room for it."""
    if text:
        ax.annotate(text, xy=(0.5, 0.0), xycoords=ax.xaxis.label, xytext=(0, -2), textcoords="offset points",
                    ha="center", va="top", fontsize=8, style="italic")


def save_representation(path, tf, title, channel_names=None, truth=None, dynamic_range=DYNAMIC_RANGE,
                        tracks=False, caption=""):
    """One panel per channel of ``tf`` (frames x bins, or channels x frames
    x bins; at most MAX_PANELS channels), all on one colour scale in dB,
    each with its mean-frequency track when ``tracks`` is true, and the
    line ``caption`` under them; saved as PNG at ``path``."""
    maps = [tf] if tf.ndim == 2 else [tf[c] for c in range(tf.shape[0])]
    if len(maps) > MAX_PANELS:
        raise ValueError("%s: %d channels are more than one picture draws (%d at most); nothing was drawn"
                         % (title, len(maps), MAX_PANELS))
    names = [None]
    if len(maps) > 1:
        names = channel_names or ["channel %d" % (c + 1) for c in range(len(maps))]
    top = _scale_top(maps, title, names)
    rows, columns = grid_shape(len(maps))
    fig = _figure(tuple(size / DPI for size in figure_size(len(maps))))
    axes = fig.subplots(rows, columns, squeeze=False).ravel()
    for c, (ax, tf_c, name) in enumerate(zip(axes, maps, names)):
        image = _draw_map(ax, tf_c, name or title, top, dynamic_range, truth,
                          frequency_track(tf_c) if tracks else None, legend=c == 0)
        # The axes are alike: labelled once a column (under its lowest
        # panel) and once a row.
        if c + columns < len(maps):
            ax.tick_params(labelbottom=False)
            ax.set_xlabel("")
        if c % columns:
            ax.tick_params(labelleft=False)
            ax.set_ylabel("")
    for ax in axes[len(maps):]:
        ax.set_visible(False)
    if len(maps) > 1:
        fig.suptitle(title, fontsize=11)
    fig.colorbar(image, ax=list(axes[:len(maps)]), label="Level (dB)", pad=0.01, fraction=0.05 / columns)
    if caption:
        # The figure's x label is the one line below all panels that the
        # constrained layout makes room for.
        fig.supxlabel(caption, fontsize=9, style="italic")
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
    dynamic range in dB, true to draw its mean-frequency track, caption),
    each on its own colour scale."""
    tops = [_scale_top([tf], name) for name, tf, *_ in panels]
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
    for ax, level, (name, tf, dynamic_range, track, text) in zip(axes, tops, panels):
        image = _draw_map(ax, tf, name, level, dynamic_range, truth, frequency_track(tf) if track else None)
        _draw_caption(ax, text)
        bottom.colorbar(image, ax=ax, label="Level (dB)", pad=0.01, fraction=0.05)
    for ax in axes[len(panels):]:
        ax.set_visible(False)
    _save(fig, path)
