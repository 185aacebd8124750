"""Command line: ``python3 -m varnel demo|analyze|methods``.

    demo --out DIR        analyse the built-in test signal with every
                          representation; one PNG each plus overview.png
                          (the Gabor spectrogram with its instantaneous
                          frequency drawn over it, the reassigned
                          spectrogram beside the plain one)
    analyze INPUT --method NAME --out FILE.png [--npy FILE.npy] ...
                          one representation of a WAV, .npy or CSV file;
                          --if-overlay draws its instantaneous frequency
    methods               list the representations and whether the loaded
                          library has them

Mistakes in the input (a missing or unreadable file, a window longer than
the signal, a bin count that is not a power of two, ...) end with one
sentence on stderr and exit status 2; a library that cannot be loaded with
status 1. Set VARNEL_DEBUG=1 to see tracebacks of unexpected errors.
"""
import argparse
import os
import sys
import tempfile

import numpy as np

from . import io, methods
from ._library import LibraryError
from .errors import VarnelError
from .result import TFArray

EXIT_USAGE = 2
EXIT_FAILURE = 1
PROGRESS_THRESHOLD = 1 << 20   # samples (all channels) from which progress is shown
BLOCK_SAMPLES = 1 << 18        # samples per block of a block-wise analysis
MEMORY_LIMIT = 1 << 30         # bytes of library working memory a method may ask for


class UsageError(Exception):
    """A mistake of the caller's; the message is the one line printed."""


class _Parser(argparse.ArgumentParser):
    def error(self, message):
        raise UsageError("%s (see %s --help)" % (message, self.prog))


class Progress:
    """A one-line progress bar on stderr, redrawn in place."""

    def __init__(self, total, label, enabled, stream=None):
        self.total, self.label, self.enabled = max(int(total), 1), label, enabled
        self.stream = stream or sys.stderr
        self.done = 0
        self.shown = -1

    def advance(self, amount):
        self.done = min(self.total, self.done + amount)
        if not self.enabled:
            return
        percent = 100 * self.done // self.total
        if percent != self.shown:
            self.shown = percent
            filled = 30 * self.done // self.total
            self.stream.write("\r%s [%s%s] %3d%%" % (self.label, "#" * filled, "-" * (30 - filled), percent))
            self.stream.flush()

    def close(self):
        if self.enabled and self.shown >= 0:
            self.stream.write("\n")
            self.stream.flush()


def parse_window(text, bins, default_family):
    """'hann', 'hann:1024', '1024' (a Hann window of that length) or None
    (the method's default family, bins samples long)."""
    if text is None:
        family, length = default_family, bins
    else:
        family, _, length_text = text.partition(":")
        if family.isdigit() and not length_text:
            family, length_text = "hann", family
        family = family.strip().lower()
        if family not in methods.WINDOWS:
            raise UsageError("unknown window %r; choose one of %s, optionally with :LENGTH"
                             % (family, ", ".join(methods.WINDOWS)))
        try:
            length = int(length_text) if length_text else bins
        except ValueError:
            raise UsageError("window length %r is not an integer" % length_text) from None
    if length < 1:
        raise UsageError("the window length must be at least 1 (got %d)" % length)
    return methods.make_window(family, length)


def _blocks(frames, per_block):
    bounds = list(range(0, frames, per_block)) + [frames]
    if len(bounds) > 2 and bounds[-1] - bounds[-2] == 1:
        del bounds[-2]  # a one-frame block could be refused for hop = 1
    return list(zip(bounds[:-1], bounds[1:]))


def compute_channel(method, x, fs, grid, progress):
    """One channel; block by block (with progress) where the method allows it."""
    n, length, hop = len(x), len(grid.window), grid.hop
    if not method.blockwise or n <= length + BLOCK_SAMPLES or hop < 1:
        result = method.compute(x, fs, grid)
        progress.advance(n)
        return result
    frames = (n - length) // hop + 1
    parts = []
    for first, stop in _blocks(frames, max(1, BLOCK_SAMPLES // hop)):
        # Enough samples for exactly stop - first frames (more than one
        # window, which the STFT needs), fewer at the end of the signal.
        end = min(n, stop * hop + length - 1)
        parts.append(method.compute(x[first * hop:end], fs, grid, start=first * hop)[:stop - first])
        progress.advance((stop - first) * hop)
    progress.advance(n)
    times = np.concatenate([part.times for part in parts])
    return TFArray(np.concatenate([np.asarray(part) for part in parts]), times, parts[0].freqs, fs,
                   parts[0].layout)


def analyse(method, data, fs, grid, show_progress=None, label="analyse"):
    """channels x frames x bins TFArray (frames x bins for one channel),
    with ``summaries``: each channel's summary for the title, or None."""
    total = data.size
    enabled = total >= PROGRESS_THRESHOLD if show_progress is None else show_progress
    progress = Progress(total, label, enabled)
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
    if bins < 1 or bins & (bins - 1):
        nearest = 1 << max(0, (bins - 1).bit_length())
        raise UsageError("--bins %d is not a power of two (the nearest above is %d)" % (bins, nearest))


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


def _check_terms(terms):
    if terms < 1:
        raise UsageError("--terms must be at least 1 (got %d)" % terms)


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


def command_demo(args):
    from . import signals
    _positive(args.fs, "--fs")
    _positive(args.duration, "--duration")
    _check_bins(args.bins)
    _check_order(args.order)
    demo = signals.demo_signal(args.fs, args.duration)
    _make_dir(args.out)
    with StagedOutputs() as outputs:
        written = _demo_pictures(args, demo, outputs)
    for path in written:
        print("wrote %s" % path)
    return 0


def _demo_pictures(args, demo, outputs):
    from . import plotting
    can_track = _has("InstantaneousFrequency")
    data = demo.x[None, :]
    written, panels, names = [], [], []
    for method in methods.METHODS.values():
        if not method.available():
            print("skipped %s: the loaded library does not export %s"
                  % (method.name, ", ".join(n for n in method.requires if not _has(n))))
            continue
        grid = methods.Grid(parse_window(None, args.bins, method.window), args.hop, args.bins, args.order)
        tf = analyse(method, data, demo.fs, grid, show_progress=False)
        path = os.path.join(args.out, "%s.png" % method.name)
        track = can_track and method.name == DEMO_TRACKED
        title = titled(method.title, tf.summaries[0]) + (" with its instantaneous frequency" if track else "")
        plotting.save_representation(outputs.path(path), tf, title, truth=demo.components,
                                     dynamic_range=method.dynamic_range, tracks=track)
        written.append(path)
        panels.append((title, tf, method.dynamic_range, track))
        names.append(method.name)
    if not panels:
        raise UsageError("the loaded library has none of the representations")
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


def command_analyze(args):
    try:
        method = methods.get(args.method)
    except KeyError as error:
        raise UsageError(error.args[0]) from None
    if not method.available():
        raise UsageError("method %s needs %s, which the loaded library does not export"
                         % (method.name, ", ".join(method.requires)))
    if args.if_overlay and not _has("InstantaneousFrequency"):
        raise UsageError("--if-overlay needs InstantaneousFrequency, which the loaded library does not export")
    _check_order(args.order)
    _check_terms(args.terms)
    if args.range is not None and not args.range > 0:
        raise UsageError("--range must be a positive number of dB (got %g)" % args.range)
    if not args.out.lower().endswith(".png"):
        raise UsageError("--out must name a .png file (got %s)" % args.out)
    _check_writable(args.out, "picture")
    if args.npy:
        _check_writable(args.npy, "array")
    _check_bins(args.bins)
    recording = io.read_signal(args.input)
    fs = args.fs if args.fs is not None else (recording.fs or 1.0)
    _positive(fs, "--fs")
    hop = args.hop if args.hop is not None else max(1, args.bins // 4)
    grid = methods.Grid(parse_window(args.window, args.bins, method.window), hop, args.bins, args.order,
                        args.terms)
    if method.memory is not None:
        need = method.memory(recording.data.shape[1], grid)
        if need > MEMORY_LIMIT:
            raise UsageError("%s of %d samples with --bins %d needs %.1f GiB of working memory; analyse a "
                             "shorter excerpt or fewer bins" % (method.name, recording.data.shape[1],
                                                                grid.bins, need / 2 ** 30))
    tf = analyse(method, recording.data, fs, grid, show_progress=args.progress, label=method.name)
    with StagedOutputs() as outputs:
        written = _analysis_outputs(args, recording, method, tf, outputs)
    for path in written:
        print("wrote %s" % path)
    return 0


def _analysis_outputs(args, recording, method, tf, outputs):
    from . import plotting
    written = [args.out]
    if args.npy:
        # numpy's own rule for the name: .npy is added when missing.
        npy = args.npy if args.npy.endswith(".npy") else args.npy + ".npy"
        np.save(outputs.path(npy), np.asarray(tf))
        written.append(args.npy)
    names = None
    if recording.channels == 2:
        names = ["left", "right"]
    title = method.title
    if len(tf.summaries) == 1:
        title = titled(title, tf.summaries[0])
    elif any(tf.summaries):
        names = [titled(name, summary) for name, summary in
                 zip(names or ["channel %d" % (c + 1) for c in range(len(tf.summaries))], tf.summaries)]
    plotting.save_representation(outputs.path(args.out), tf, "%s of %s" % (title, os.path.basename(args.input)),
                                 channel_names=names, tracks=args.if_overlay,
                                 dynamic_range=args.range if args.range is not None else method.dynamic_range)
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
    analyze.add_argument("--method", required=True, metavar="NAME",
                         help="representation: %s" % ", ".join(methods.METHODS))
    analyze.add_argument("--window", metavar="NAME[:LENGTH]",
                         help="window family (%s) and length (default: the method's own family, bins "
                              "samples long)" % ", ".join(methods.WINDOWS))
    analyze.add_argument("--hop", type=int, help="time step in samples (default bins/4; a power of two for "
                                                 "gabor-sp, cwd and csd)")
    analyze.add_argument("--order", type=int, default=2,
                         help="gabor-sp: highest order of atom interactions summed; 0 is a smooth energy map, "
                              "higher orders are sharper (default 2)")
    analyze.add_argument("--terms", type=int, default=50,
                         help="adaptive: most chirplet terms sought; fewer are kept when one more would not "
                              "lower the energy left (default 50)")
    analyze.add_argument("--if-overlay", action="store_true",
                         help="draw the instantaneous frequency (the frequency centroid of each time slice) "
                              "over the picture")
    analyze.add_argument("--bins", type=int, default=512, help="frequency bins, a power of two (default 512)")
    analyze.add_argument("--fs", type=float, help="sample rate in Hz (default: the WAV's, else 1)")
    analyze.add_argument("--out", required=True, metavar="FILE.png", help="picture to write")
    analyze.add_argument("--npy", metavar="FILE.npy", help="also save the values (frames x bins, or "
                                                           "channels x frames x bins)")
    analyze.add_argument("--range", type=float, metavar="DB",
                         help="dynamic range shown, in dB (default 80, 30 for the quadratic distributions)")
    progress = analyze.add_mutually_exclusive_group()
    progress.add_argument("--progress", dest="progress", action="store_true", default=None,
                          help="always show the progress bar (default: for inputs of 2^20 samples and more)")
    progress.add_argument("--no-progress", dest="progress", action="store_false", help="never show it")
    analyze.set_defaults(run=command_analyze)

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
        return _fail("not enough memory for this analysis; try a larger --hop, fewer --bins or a shorter "
                     "input", EXIT_FAILURE)
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
