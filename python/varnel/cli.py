"""Command line: ``python3 -m varnel demo|analyze|batch|methods``.

    demo --out DIR        analyse the built-in test signal with every
                          representation; one PNG each plus overview.png
                          (the Gabor spectrogram with its mean frequency
                          drawn over it, the reassigned spectrogram
                          beside the plain one)
    analyze INPUT --method NAME --out FILE.png [--npy FILE.npy] ...
                          one representation of an audio, .npy or CSV
                          file; --if-overlay draws its mean frequency
                          (the centroid of each time slice)
    batch INPUT... --method NAME --out DIR [--scheduler ADDRESS] [--workers N] ...
                          one representation of many files, one task per file
                          on a Dask cluster (a local one of N processes unless
                          a scheduler is given): DIR/NAME.npy per file and
                          DIR/index.json (input, output, shape, status,
                          error); a file that fails is recorded there and the
                          others go on; a rerun skips the files recorded as
                          done; status 1 when some file failed
    methods               list the representations and whether the loaded
                          library has them

Mistakes in the input (a missing or unreadable file, a window longer than
the signal, a bin count that is not a power of two, an option the method
does not use, an analysis larger than the memory it may take, ...) end
with one sentence on stderr and exit status 2, before anything large is
allocated (batch: before any worker starts; without Dask installed, with the
Debian packages to install); a library that cannot be loaded with status 1. Set
VARNEL_DEBUG=1 to see tracebacks of unexpected errors.
"""
import argparse
import os
import resource
import sys
import tempfile

import numpy as np

from . import io, linear, methods, plotting
from ._library import LibraryError
from .errors import VarnelError, next_power_of_two, power_of_two
from .result import TFArray

EXIT_USAGE = 2
EXIT_FAILURE = 1
PROGRESS_THRESHOLD = 1 << 20   # samples (all channels) from which progress is shown
BLOCK_SAMPLES = 1 << 18        # samples per block of a block-wise analysis
MEMORY_FRACTION = 0.5          # of the memory available, that one analysis may take
MEMORY_LIMIT = 1 << 30         # bytes it may take where the available memory is unknown
ANNOUNCE_BYTES = 100 << 20     # an analysis estimated above this says what it will produce
AXIS_SMALLEST = 1e-280         # s or Hz: the shortest axis a picture is drawn on
DEFAULT_WINDOW = 256           # samples, when neither --window nor --bins gives a length


class UsageError(Exception):
    """A mistake of the caller's; the message is the one line printed."""


class _Parser(argparse.ArgumentParser):
    def error(self, message):
        raise UsageError("%s (see %s --help)" % (message, self.prog))


class _NoBar:
    def update(self, amount):
        pass

    def close(self):
        pass


def progress_bar(total, label, enabled):
    """tqdm's bar (rate and time left) on stderr, or one that draws nothing
    when disabled or when tqdm is not installed."""
    if enabled:
        try:
            import tqdm
        except ImportError:
            return _NoBar()
        return tqdm.tqdm(total=total, desc=label, unit="sample", unit_scale=True, file=sys.stderr,
                         mininterval=0.5)
    return _NoBar()


def window_choice(text, default_family):
    """(family, length) of 'hann', 'hann:1024', '1024' (a Hann window of
    that length) or None (the method's default family); the length is None
    where the text gives none."""
    if text is None:
        return default_family, None
    family, _, length_text = text.partition(":")
    if family.isdigit() and not length_text:
        family, length_text = "hann", family
    family = family.strip().lower()
    if family not in methods.WINDOWS:
        raise UsageError("unknown window %r; choose one of %s, optionally with :LENGTH"
                         % (family, ", ".join(methods.WINDOWS)))
    try:
        length = int(length_text) if length_text else None
    except ValueError:
        raise UsageError("window length %r is not an integer" % length_text) from None
    # A one-sample window of the cosine families is a single zero, which
    # would draw an empty picture.
    if length is not None and length < 2:
        raise UsageError("the window length must be at least 2 samples (got %d)" % length)
    return family, length


def parse_window(text, bins, default_family):
    """The window samples of ``window_choice``, bins samples long where
    the text gives no length."""
    family, length = window_choice(text, default_family)
    return linear.get_window(family, bins if length is None else length)


def _blocks(frames, per_block):
    bounds = list(range(0, frames, per_block)) + [frames]
    if len(bounds) > 2 and bounds[-1] - bounds[-2] == 1:
        del bounds[-2]  # a one-frame block could be refused for hop = 1
    return list(zip(bounds[:-1], bounds[1:]))


def block_span(first, stop, hop, length, n):
    """(begin, end) of the samples that give exactly frames first..stop-1
    of n samples (more than one window, which the STFT needs; fewer at the
    end of the signal)."""
    return first * hop, min(n, stop * hop + length - 1)


def compute_channel(method, x, fs, grid, progress):
    """One channel; block by block (with progress) where the method allows
    it: an extension of the signal's ends needs the whole signal."""
    n, length, hop = len(x), len(grid.window), grid.hop
    if not method.blockwise or grid.boundary is not None or n <= length + BLOCK_SAMPLES or hop < 1:
        result = method.compute(x, fs, grid)
        progress.update(n)
        return result
    frames = (n - length) // hop + 1
    parts = []
    for first, stop in _blocks(frames, max(1, BLOCK_SAMPLES // hop)):
        begin, end = block_span(first, stop, hop, length, n)
        parts.append(method.compute(x[begin:end], fs, grid, start=begin)[:stop - first])
        progress.update((stop - first) * hop)
    progress.update(max(0, n - frames * hop))  # the samples after the last frame's start
    times = np.concatenate([part.times for part in parts])
    return TFArray(np.concatenate([np.asarray(part) for part in parts]), times, parts[0].freqs, fs,
                   parts[0].layout)


def analyse(method, data, fs, grid, show_progress=None, label="analyse"):
    """channels x frames x bins TFArray (frames x bins for one channel),
    with ``summaries``: each channel's summary for the title, or None."""
    total = data.size
    enabled = total >= PROGRESS_THRESHOLD and sys.stderr.isatty() if show_progress is None else show_progress
    progress = progress_bar(total, label, enabled)
    try:
        maps = [compute_channel(method, channel, fs, grid, progress) for channel in data]
    finally:
        progress.close()
    if len(maps) == 1:
        tf = maps[0]
    else:
        tf = TFArray(np.stack([np.asarray(m) for m in maps]), maps[0].times, maps[0].freqs, fs, maps[0].layout)
    tf.summaries = [getattr(m, "summary", None) for m in maps]
    return tf


def titled(title, summary):
    return "%s (%s)" % (title, summary) if summary else title


def _make_dir(path):
    try:
        os.makedirs(path, exist_ok=True)
    except OSError as error:
        raise UsageError("cannot create the output folder %s: %s" % (path, error.strerror or error)) from None


def _check_writable(path, what):
    folder = os.path.dirname(os.path.abspath(path))
    if not os.path.isdir(folder):
        raise UsageError("the folder of the %s (%s) does not exist" % (what, folder))


def _check_bins(bins):
    # Every representation needs it; said here before any file is read.
    if bins < 2:
        raise UsageError("--bins must be at least 2 (got %d): one bin draws no frequency axis" % bins)
    if not power_of_two(bins):
        raise UsageError("--bins %d is not a power of two (the nearest above is %d)"
                         % (bins, next_power_of_two(bins)))


# The representation whose panel the demo overlays with its instantaneous
# frequency: the Gabor spectrogram's ridges are sharp and its interference
# small, so the centroid follows the strongest component there.
DEMO_TRACKED = "gabor-sp"


# Panels the demo's overview puts on the same row as another's, to its
# right, so that the two can be compared: the reassigned spectrogram shares
# the plain spectrogram's grid, and the pair shows what reassignment sharpens.
DEMO_BESIDE = {"reassigned": "spectrogram"}


def overview_order(names):
    """Indices of the panels ``names`` (in registration order) as the
    overview draws them, two a row: each panel of DEMO_BESIDE right after
    its partner, which then starts a row; a later single panel moves up to
    fill the row that this would leave half empty."""
    partner_of = {left: right for right, left in DEMO_BESIDE.items()
                  if right in names and left in names}
    followers = set(partner_of.values())
    units = [[i] + ([names.index(partner_of[name])] if name in partner_of else [])
             for i, name in enumerate(names) if name not in followers]
    order = []
    while units:
        unit = units.pop(0)
        if len(unit) == 2 and len(order) % 2:
            single = next((u for u in units if len(u) == 1), None)
            if single is not None:
                units.remove(single)
                order.extend(single)
        order.extend(unit)
    return order


def _check_order(order):
    if order < 0:
        raise UsageError("--order must not be negative (got %d)" % order)


class StagedOutputs:
    """The files of one run, written under temporary names next to where
    they belong and renamed into place only when the whole run has
    succeeded: a run that fails half-way leaves no files behind, and an
    earlier result under the same name survives it."""

    def __init__(self):
        self._staged = []

    def path(self, final):
        folder = os.path.dirname(os.path.abspath(final))
        handle, temporary = tempfile.mkstemp(prefix=".varnel-", suffix=os.path.splitext(final)[1], dir=folder)
        os.close(handle)
        # The permissions open() would have given the file (mkstemp's are 0600).
        mask = os.umask(0)
        os.umask(mask)
        os.chmod(temporary, 0o666 & ~mask)
        self._staged.append((temporary, final))
        return temporary

    def __enter__(self):
        return self

    def __exit__(self, kind, value, traceback):
        for temporary, final in self._staged:
            if kind is None:
                os.replace(temporary, final)
            else:
                try:
                    os.remove(temporary)
                except OSError:
                    pass
        return False


def _positive(value, option):
    if not (np.isfinite(value) and value > 0):
        raise UsageError("%s must be a positive finite number (got %s)" % (option, value))


def _check_axes(fs, samples):
    """A picture needs its time axis (samples / fs s) and frequency axis
    (up to fs / 2 Hz) finite and clear of about 1e-287, below which the
    plotting library takes a range for a single point and draws nothing."""
    span, top = samples / fs, fs / 2
    if not (AXIS_SMALLEST <= span < np.inf and AXIS_SMALLEST <= top < np.inf):
        raise UsageError("--fs %g gives a time axis of %g s and frequencies up to %g Hz; a picture needs both "
                         "between %g and %g" % (fs, span, top, AXIS_SMALLEST, np.finfo(np.float64).max))


def command_demo(args):
    from . import signals
    _positive(args.fs, "--fs")
    _positive(args.duration, "--duration")
    _check_bins(args.bins)
    _check_order(args.order)
    _check_axes(args.fs, args.fs * args.duration)
    grids = _demo_grids(args, _demo_length(args))
    demo = signals.demo_signal(args.fs, args.duration)
    _make_dir(args.out)
    with StagedOutputs() as outputs:
        written = _demo_pictures(args, demo, grids, outputs)
    for path in written:
        print("wrote %s" % path)
    return 0


def _demo_length(args):
    """Samples of the demo signal, checked before it is made."""
    samples = args.fs * args.duration
    if not samples < 2 ** 31:
        raise UsageError("--fs %g x --duration %g is %.3g samples; the library takes at most 2^31 - 1"
                         % (args.fs, args.duration, samples))
    n = int(round(samples))
    if n <= args.bins:
        raise UsageError("--fs %g x --duration %g gives %d samples; the demo needs more than --bins %d"
                         % (args.fs, args.duration, n, args.bins))
    return n


def _demo_grids(args, n):
    """(method, grid) of each representation the loaded library has, every
    one checked against the signal (and the memory it may take) before
    any is computed."""
    grids = []
    for method in methods.METHODS.values():
        if not method.available():
            print("skipped %s: the loaded library does not export %s"
                  % (method.name, ", ".join(name for name in method.requires if not _has(name))))
            continue
        options = argparse.Namespace(window=None, bins=args.bins, hop=args.hop, terms=None, boundary=None,
                                     order=args.order if "order" in method.uses else None, progress=None)
        family, length, hop, bins = _plan(method, options, 1, n, True, "a shorter --duration or a lower --fs")
        grids.append((method, methods.Grid(linear.get_window(family, length), hop, bins, args.order)))
    if not grids:
        raise UsageError("the loaded library has none of the representations")
    return grids


def _demo_pictures(args, demo, grids, outputs):
    can_track = _has("InstantaneousFrequency")
    data = demo.x[None, :]
    written, panels, names = [], [], []
    for method, grid in grids:
        tf = analyse(method, data, demo.fs, grid, label=method.name)
        path = os.path.join(args.out, "%s.png" % method.name)
        track = can_track and method.name == DEMO_TRACKED
        title = titled(method.title, tf.summaries[0]) + (" with its mean frequency" if track else "")
        caption = plotting.caption(method.name, args.order)
        plotting.save_representation(outputs.path(path), tf, title, truth=demo.components,
                                     dynamic_range=method.dynamic_range, tracks=track, caption=caption)
        written.append(path)
        panels.append((title, tf, method.dynamic_range, track, caption))
        names.append(method.name)
    path = os.path.join(args.out, "overview.png")
    panels = [panels[i] for i in overview_order(names)]
    plotting.save_overview(outputs.path(path), demo.x, demo.fs, panels, truth=demo.components,
                           title="Test signal: linear chirp, Gaussian tone burst, stationary tone "
                                 "(%g Hz, %g s); dashed lines: ground truth" % (demo.fs, demo.duration))
    written.append(path)
    return written


def _has(name):
    from . import raw
    return raw.available(name)


def parse_channels(text, available):
    """0-based indices of a --channels list such as '1,3,5-9' (1-based,
    ranges inclusive, in the order given)."""
    chosen = []
    for part in text.split(","):
        first, dash, last = part.strip().partition("-")
        try:
            span = range(int(first), int(last if dash else first) + 1)
        except ValueError:
            raise UsageError("--channels %s is not a list such as 1,3,5-9" % text) from None
        if not span or span[0] < 1 or span[-1] > available:
            raise UsageError("--channels %s names a channel outside 1..%d" % (text, available))
        chosen.extend(c - 1 for c in span)
    if len(set(chosen)) != len(chosen):
        raise UsageError("--channels %s names a channel twice" % text)
    return chosen


def _check_finite(data, numbers, fs, path):
    # Checked here rather than left to the library, so that the sentence
    # can say where in the file the bad sample is; numbers are the file's
    # channel numbers of the rows of data.
    bad = ~np.isfinite(data)
    if bad.any():
        row = int(np.argmax(bad.any(axis=1)))
        index = int(np.argmax(bad[row]))
        raise UsageError("%s has a non-finite sample (%s) in channel %d at sample %d (%.6g s); the "
                         "representations need finite samples"
                         % (path, data[row, index], numbers[row], index, index / fs))


def _refuse_unused(method, args):
    for option in methods.UNUSED:
        if getattr(args, option) is not None and option not in method.uses:
            raise UsageError("--%s is not used by %s: %s" % (option, method.name, methods.UNUSED[option]))


def memory_limit():
    """Bytes one analysis may take: MEMORY_FRACTION of the memory available
    now (or of the process's address-space limit, when that is lower), or
    MEMORY_LIMIT where the system does not say."""
    try:
        with open("/proc/meminfo") as f:
            fields = dict(line.split(":", 1) for line in f)
        available = int(fields["MemAvailable"].split()[0]) * 1024
    except (OSError, KeyError, ValueError):
        try:
            available = os.sysconf("SC_AVPHYS_PAGES") * os.sysconf("SC_PAGE_SIZE")
        except (ValueError, OSError, AttributeError):
            available = MEMORY_LIMIT / MEMORY_FRACTION
    address_space = resource.getrlimit(resource.RLIMIT_AS)[0]
    if address_space != resource.RLIM_INFINITY:
        available = min(available, address_space)
    return int(MEMORY_FRACTION * available)


def _gib(size):
    return "%.1f GiB" % (size / 2 ** 30) if size >= 2 ** 30 else "%d MiB" % max(1, round(size / 2 ** 20))


def _plan(method, args, channels, n, real, smaller_signal="fewer --channels or a shorter excerpt"):
    """(family, window length, hop, bins) of the analysis, from what the
    user gave: the bins cover the window, the window defaults to the bins
    (or DEFAULT_WINDOW samples) and the hop to a quarter of the window.
    Everything is checked against the signal before anything is built;
    ``smaller_signal`` is how this command's user makes the signal smaller
    when the analysis would not fit in memory."""
    family, length = window_choice(args.window, method.window)
    if length is None:
        length = args.bins if args.bins is not None else DEFAULT_WINDOW
    bins = args.bins if args.bins is not None else next_power_of_two(length)
    hop = args.hop
    if hop is None:
        hop = max(1, length // 4)
        if method.power_of_two_hop:
            hop = 1 << (hop.bit_length() - 1)
    elif hop < 1:
        raise UsageError("--hop must be at least 1 (got %d)" % hop)
    if method.lattice and hop > bins:
        raise UsageError("--hop %d is more than --bins %d; the Gabor lattice of %s needs hop <= bins"
                         % (hop, bins, method.name))
    if method.lattice and "window" in method.uses and length % bins:
        raise UsageError("%s needs a window length that is a multiple of --bins (window %d, bins %d): a "
                         "power-of-two window such as --window %s:%d fits" % (method.name, length, bins, family, bins))
    if method.lattice and "window" in method.uses and length % hop:
        raise UsageError("--hop %d does not divide the %d-sample window; the Gabor lattice of %s needs it to"
                         % (hop, length, method.name))
    # The fewest samples any choice of options draws from: a window of 2
    # samples must be shorter than the signal, 2 bins must be filled.
    least = max(method.shortest, 3 if "window" in method.uses else 2)
    if n < least:
        raise UsageError("the signal has only %d sample%s; %s needs at least %d"
                         % (n, "" if n == 1 else "s", method.name, least))
    if "window" in method.uses and length >= n:
        raise UsageError("the window (%d samples) must be shorter than the signal (%d samples); give a "
                         "shorter --window or --bins" % (length, n))
    if bins > next_power_of_two(n):
        raise UsageError("%s--bins %d is more than the %d samples of the signal can fill; give --bins %d or fewer"
                         % ("" if args.bins is not None else "the default ", bins, n, next_power_of_two(n)))
    if args.terms is not None and not 1 <= args.terms <= n:
        raise UsageError("--terms must be at least 1 and at most the signal's %d samples (got %d)"
                         % (n, args.terms))
    # With an extension the signal grows by up to a window at each end.
    frames, columns, itemsize, working = method.size(n + (2 * max(length, bins) if args.boundary else 0),
                                                      length, hop, bins, real)
    if frames < 2:
        raise UsageError("--hop %d leaves %d frame%s of the %d samples; a picture needs at least 2: give a "
                         "smaller --hop" % (hop, frames, "" if frames == 1 else "s", n))
    if args.order is not None and args.order > min(frames, bins) - 1:
        raise UsageError("--order %d is above %d, the highest this lattice of %d frames x %d bins has"
                         % (args.order, min(frames, bins) - 1, frames, bins))
    result = frames * columns * itemsize
    # Each channel's result and their stack (or the blocks and their join),
    # one channel's temporaries, and the picture's two real copies of one
    # map in dB: within twice what a run takes, measured at a few million
    # samples.
    need = 2 * channels * result + working + 2 * frames * columns * 8
    what = ("%s of %d channel%s x %d samples: %d frames x %d bins, about %s"
            % (method.name, channels, "" if channels == 1 else "s", n, frames, columns, _gib(need)))
    limit = memory_limit()
    if need > limit:
        raise UsageError("%s, more than the %s one analysis may take here; give a larger --hop, fewer --bins, "
                         "%s" % (what, _gib(limit), smaller_signal))
    if method.folds and bins < length:
        sys.stderr.write("varnel: note: the %d-sample window is folded onto %d bins (--bins %d would not "
                         "fold it)\n" % (length, bins, next_power_of_two(length)))
    if args.progress is not False and (channels * n >= PROGRESS_THRESHOLD or need >= ANNOUNCE_BYTES):
        sys.stderr.write("varnel: %s; picture %dx%d\n" % ((what,) + plotting.figure_size(channels)))
    return family, length, hop, bins


def grid_for(method, args, data):
    """The grid of an analysis of data (channels x samples) with the
    options of args, checked against the signal by _plan."""
    channels, n = data.shape
    family, length, hop, bins = _plan(method, args, channels, n, data.dtype.kind != "c")
    options = {name: getattr(args, name) for name in ("order", "terms", "boundary")
               if getattr(args, name) is not None}
    return methods.Grid(linear.get_window(family, length), hop, bins, **options)


def chosen_method(args):
    """The method of --method, available and given only options it uses."""
    try:
        method = methods.get(args.method)
    except KeyError as error:
        raise UsageError(error.args[0]) from None
    if not method.available():
        raise UsageError("method %s needs %s, which the loaded library does not export"
                         % (method.name, ", ".join(method.requires)))
    _refuse_unused(method, args)
    return method


def command_analyze(args):
    method = chosen_method(args)
    if args.if_overlay and not _has("InstantaneousFrequency"):
        raise UsageError("--if-overlay needs InstantaneousFrequency, which the loaded library does not export")
    if args.order is not None:
        _check_order(args.order)
    if args.range is not None and not args.range > 0:
        raise UsageError("--range must be a positive number of dB (got %g)" % args.range)
    if not args.out.lower().endswith(".png"):
        raise UsageError("--out must name a .png file (got %s)" % args.out)
    _check_writable(args.out, "picture")
    if args.npy:
        _check_writable(args.npy, "array")
    if args.bins is not None:
        _check_bins(args.bins)
    window_choice(args.window, method.window)  # a bad --window is said before the file is read
    recording = io.read_signal(args.input)
    if recording.notice:
        sys.stderr.write("varnel: note: %s\n" % recording.notice)
    fs = args.fs if args.fs is not None else (recording.fs or 1.0)
    _positive(fs, "--fs")
    chosen = list(range(recording.channels))
    stereo = recording.channels == 2
    if args.channels is not None:
        chosen = parse_channels(args.channels, recording.channels)
        recording.data = recording.data[chosen]
    # Panels are named after the file's channels, whichever were chosen.
    names = None
    if len(chosen) > 1:
        names = [("left", "right")[c] if stereo else "channel %d" % (c + 1) for c in chosen]
    _check_axes(fs, recording.data.shape[-1])
    _check_finite(recording.data, [c + 1 for c in chosen], fs, args.input)
    if recording.channels > plotting.MAX_PANELS:
        raise UsageError("%s has %d channels and a picture shows at most %d; choose some with --channels, "
                         "e.g. --channels 1-%d" % (args.input, recording.channels, plotting.MAX_PANELS, plotting.MAX_PANELS))
    grid = grid_for(method, args, recording.data)
    tf = analyse(method, recording.data, fs, grid, show_progress=args.progress, label=method.name)
    with StagedOutputs() as outputs:
        written = _analysis_outputs(args, recording, method, grid, tf, outputs, names)
    for path in written:
        print("wrote %s" % path)
    return 0


def _analysis_outputs(args, recording, method, grid, tf, outputs, names):
    written = [args.out]
    if args.npy:
        # numpy's own rule for the name: .npy is added when missing.
        npy = args.npy if args.npy.endswith(".npy") else args.npy + ".npy"
        np.save(outputs.path(npy), np.asarray(tf))
        written.append(args.npy)
    title = method.title
    if len(tf.summaries) == 1:
        title = titled(title, tf.summaries[0])
    elif any(tf.summaries):
        names = [titled(name, summary) for name, summary in zip(names, tf.summaries)]
    plotting.save_representation(outputs.path(args.out), tf, "%s of %s" % (title, os.path.basename(args.input)),
                                 channel_names=names, tracks=args.if_overlay,
                                 dynamic_range=args.range if args.range is not None else method.dynamic_range,
                                 caption=plotting.caption(method.name, grid.order))
    return written


def command_methods(args):
    try:
        from . import raw
        raw.load()
        problem = None
    except LibraryError as error:
        problem = str(error)
    for method in methods.METHODS.values():
        state = "?" if problem else ("available" if method.available() else "not in the loaded library")
        print("%-12s %-45s %s" % (method.name, method.title, state))
    if problem:
        print("(availability unknown: %s)" % problem)
    return 0


CONNECT_TIMEOUT = 3  # seconds to reach a scheduler given by --scheduler


def _check_out_folder(path):
    """Refuses an output folder that cannot be created or written to,
    before anything is made."""
    folder = os.path.abspath(path)
    if os.path.exists(folder) and not os.path.isdir(folder):
        raise UsageError("--out %s is a file, not a folder" % path)
    existing = folder
    while not os.path.exists(existing):
        existing = os.path.dirname(existing)
    if not os.path.isdir(existing) or not os.access(existing, os.W_OK | os.X_OK):
        raise UsageError("cannot write into %s (for --out %s)" % (existing, path))


def _connect(args):
    """(client, cluster) of --scheduler, or of a local cluster of --workers
    processes (cluster None for a scheduler given)."""
    from distributed import Client
    from .dask import local_cluster
    if args.scheduler:
        try:
            return Client(args.scheduler, timeout=CONNECT_TIMEOUT), None
        except (OSError, ValueError, TypeError) as error:
            raise UsageError("cannot reach the scheduler at %s within %d s (%s)"
                             % (args.scheduler, CONNECT_TIMEOUT, str(error).split("\n")[0] or
                                type(error).__name__)) from None
    cluster = local_cluster(args.workers)
    return Client(cluster), cluster


def command_batch(args):
    try:
        import distributed  # noqa: F401
        from . import dask as on_dask
    except ImportError:
        raise UsageError("batch runs on Dask, which is not installed: install the Debian packages python3-dask "
                         "and python3-distributed") from None
    method = chosen_method(args)
    if args.order is not None:
        _check_order(args.order)
    if args.bins is not None:
        _check_bins(args.bins)
    if args.fs is not None:
        _positive(args.fs, "--fs")
    window_choice(args.window, method.window)
    for path in args.inputs:
        if not os.path.isfile(path):
            raise UsageError("%s: %s" % ("not a file" if os.path.exists(path) else "no such file", path))
    if args.workers is not None:
        if args.scheduler:
            raise UsageError("--workers starts a local cluster; the scheduler of --scheduler has its own workers")
        if args.workers < 1:
            raise UsageError("--workers must be at least 1 (got %d)" % args.workers)
    _check_out_folder(args.out)
    client, cluster = _connect(args)
    try:
        options = {name: getattr(args, name) for name in on_dask.OPTIONS}
        rows = on_dask.batch(args.inputs, method.name, args.out, client=client,
                             progress=sys.stderr if args.progress is not False else None, **options)
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    failed = sum(row["status"] != "done" for row in rows)
    if failed:
        return _fail("%d of %d inputs failed; the index %s says why"
                     % (failed, len(rows), os.path.join(args.out, on_dask.INDEX)), EXIT_FAILURE)
    return 0


def _users(option):
    return ", ".join(m.name for m in methods.METHODS.values() if option in m.uses)


def _analysis_options(command):
    """--method and the options of the analysis itself, which analyze and batch share."""
    command.add_argument("--method", required=True, metavar="NAME",
                         help="representation: %s" % ", ".join(methods.METHODS))
    command.add_argument("--window", metavar="NAME[:LENGTH]",
                         help="%s: window family (%s) and length, at least 2 samples (default: the method's "
                              "own family, --bins samples long, or %d samples without --bins)"
                              % (_users("window"), ", ".join(methods.WINDOWS), DEFAULT_WINDOW))
    command.add_argument("--hop", type=int, help="time step in samples (default a quarter of the window "
                                                 "length, or of --bins for the methods without a window; "
                                                 "rounded down to a power of two for %s)"
                                                 % ", ".join(m.name for m in methods.METHODS.values()
                                                             if m.power_of_two_hop))
    command.add_argument("--order", type=int,
                         help="%s: highest order of atom interactions summed; 0 is a smooth energy map, "
                              "higher orders are sharper (default 2)" % _users("order"))
    command.add_argument("--terms", type=int,
                         help="%s: most chirplet terms sought; fewer are kept when one more would not "
                              "lower the energy left (default 50)" % _users("terms"))
    command.add_argument("--boundary", metavar="RULE", choices=tuple(linear._RULES),
                         help="%s: extend the signal beyond both ends by this rule (%s) before the "
                              "transform, so that its edges are analysed like its middle (default: no "
                              "extension)" % (_users("boundary"), ", ".join(linear._RULES)))
    command.add_argument("--bins", type=int,
                         help="frequency bins, a power of two, at least 2 (default: the window length rounded "
                              "up to a power of two; %d). Fewer bins than the window has samples fold it "
                              "onto them, with a note on stderr" % DEFAULT_WINDOW)
    command.add_argument("--fs", type=float, help="sample rate in Hz (default: the audio file's, else 1)")


def build_parser():
    parser = _Parser(prog="python3 -m varnel", description="Time-frequency pictures with libvarnel.")
    commands = parser.add_subparsers(dest="command", metavar="COMMAND", parser_class=_Parser)
    commands.required = True

    demo = commands.add_parser("demo", help="analyse the built-in test signal with every representation",
                               description="Analyse the built-in test signal (a linear chirp, a Gaussian "
                                           "tone burst and a stationary tone) with every representation "
                                           "and write one PNG each plus overview.png.")
    demo.add_argument("--out", required=True, metavar="DIR", help="folder for the pictures (created)")
    demo.add_argument("--fs", type=float, default=8000.0, help="sample rate in Hz (default 8000)")
    demo.add_argument("--duration", type=float, default=1.0, help="length in seconds (default 1)")
    demo.add_argument("--bins", type=int, default=256, help="frequency bins (default 256)")
    demo.add_argument("--hop", type=int, default=32, help="time step in samples (default 32)")
    demo.add_argument("--order", type=int, default=2, help="order of the Gabor spectrogram (default 2)")
    demo.set_defaults(run=command_demo)

    analyze = commands.add_parser("analyze", help="draw one representation of a signal file",
                                  description="Draw one time-frequency representation of a signal file: "
                                              "%s (a .npy array is 1-D, or channels x samples)." % io.FORMATS)
    analyze.add_argument("input", metavar="INPUT", help="signal file: %s" % io.FORMATS)
    _analysis_options(analyze)
    analyze.add_argument("--channels", metavar="LIST",
                         help="channels to analyse, numbered from 1, e.g. 1,3,5-9 (default all; a picture "
                              "shows at most %d)" % plotting.MAX_PANELS)
    analyze.add_argument("--if-overlay", action="store_true",
                         help="draw the mean frequency (the frequency centroid of each time slice) "
                              "over the picture")
    analyze.add_argument("--out", required=True, metavar="FILE.png", help="picture to write")
    analyze.add_argument("--npy", metavar="FILE.npy", help="also save the values (frames x bins, or "
                                                           "channels x frames x bins)")
    analyze.add_argument("--range", type=float, metavar="DB",
                         help="dynamic range shown, in dB (default 80, 30 for the quadratic distributions)")
    progress = analyze.add_mutually_exclusive_group()
    progress.add_argument("--progress", dest="progress", action="store_true", default=None,
                          help="always show the progress bar (default: on a terminal, for inputs of 2^20 "
                               "samples and more, which also say first what they will produce)")
    progress.add_argument("--no-progress", dest="progress", action="store_false",
                          help="never show the bar nor that line")
    analyze.set_defaults(run=command_analyze)

    analyze.epilog = ("An analysis is refused before it starts when its estimated memory exceeds %d%% of "
                      "the memory available (%s where the system does not say)."
                      % (100 * MEMORY_FRACTION, _gib(MEMORY_LIMIT)))

    batch = commands.add_parser("batch", help="analyse many signal files on a Dask cluster",
                                description="Analyse signal files (%s) with one representation, one task per "
                                            "file on a Dask cluster, into DIR/NAME.npy and DIR/index.json; "
                                            "a rerun skips the files the index records as done." % io.FORMATS)
    batch.add_argument("inputs", nargs="+", metavar="INPUT", help="signal files")
    _analysis_options(batch)
    batch.add_argument("--out", required=True, metavar="DIR", help="folder for the results (created)")
    batch.add_argument("--scheduler", metavar="ADDRESS",
                       help="a running Dask scheduler, e.g. tcp://host:8786 (default: a local cluster)")
    batch.add_argument("--workers", type=int, metavar="N",
                       help="worker processes of the local cluster (default: the CPU count, %d here)"
                            % (os.cpu_count() or 1))
    batch.add_argument("--no-progress", dest="progress", action="store_false", default=None,
                       help="no line per file on stderr")
    batch.set_defaults(run=command_batch)

    listing = commands.add_parser("methods", help="list the representations")
    listing.set_defaults(run=command_methods)
    return parser


def _fail(message, status):
    sys.stderr.write("varnel: error: %s\n" % message.replace("\n", " "))
    return status


def main(argv=None):
    try:
        args = build_parser().parse_args(argv)
        return args.run(args)
    except UsageError as error:
        return _fail(str(error), EXIT_USAGE)
    except io.InputError as error:
        return _fail(str(error), EXIT_USAGE)
    except VarnelError as error:
        return _fail(error.message + (" (%s)" % error.name if error.name else ""), EXIT_USAGE)
    except LibraryError as error:
        return _fail(str(error), EXIT_FAILURE)
    except KeyboardInterrupt:
        sys.stderr.write("\n")
        return 130
    except MemoryError:
        return _fail("not enough memory for this analysis; try a larger --hop, fewer --bins, fewer --channels "
                     "or a shorter input", EXIT_USAGE)
    except (ValueError, TypeError) as error:
        if os.environ.get("VARNEL_DEBUG"):
            raise
        return _fail(str(error), EXIT_USAGE)
    except OSError as error:
        if os.environ.get("VARNEL_DEBUG"):
            raise
        where = " (%s)" % error.filename if getattr(error, "filename", None) else ""
        return _fail("%s%s" % (error.strerror or error, where), EXIT_FAILURE)
    except Exception as error:  # the promise is one line, never a traceback
        if os.environ.get("VARNEL_DEBUG"):
            raise
        return _fail("unexpected %s: %s (run with VARNEL_DEBUG=1 for details)"
                     % (type(error).__name__, error), EXIT_FAILURE)
