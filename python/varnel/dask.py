"""Varnel on Dask: long signals chunk by chunk, collections of recordings
one task each. Imported only when used (``import varnel.dask``); needs
Debian's python3-dask, and python3-distributed for ``batch``.

    import dask.array as da, varnel.dask
    x = da.from_array(samples, chunks=1 << 20)      # or any 1-D / channels x samples dask array
    S = varnel.dask.spectrogram(x, fs, nperseg=1024, hop=256)
    S.data                     # frames x bins dask array, chunked along the frames
    S.times, S.freqs           # the axes varnel.spectrogram(samples, fs, ...) has
    S.compute()                # that TFArray itself

``stft``, ``spectrogram``, ``dgt`` and ``reassigned_spectrogram`` take the
keywords of the functions of the same name in ``varnel`` (but not
``check_finite`` or ``workers``: samples are not looked at before the
blocks are computed, so NaN and infinities propagate as with
``check_finite=False``, and the blocks run where the scheduler puts them)
and give their values to rounding: each block of frames reads the samples
its windows cover (the next block's first samples included), with phases
and times on the lattice of the whole signal; what a ``boundary`` rule puts beyond the
ends is made from the samples at the ends, and the Gabor transform's
wrap-around from those of the other end. The reassigned spectrogram moves
energy between frames, possibly far: each block sends what leaves it to
the block it lands in, and its threshold is the whole signal's.

``batch`` analyses recordings (files or arrays) as the command line's
``analyze`` does, one task per recording on a distributed client, each
result written as .npy next to index.json (see ``batch``).
"""
import argparse
import json
import math
import os
import sys
import time

import dask
import dask.array as da
import numpy as np

from . import cli, io, linear, methods
from ._arrays import signal
from .axes import times as time_axis
from .errors import VarnelError
from .result import TFArray

INDEX = "index.json"


class DaskTF:
    """A time-frequency result held as a dask array (``data``: frames x
    bins, or channels x frames x bins, chunked along the frames) with the
    axes of the one-call result: ``times``, ``freqs``, ``fs``, ``layout``,
    ``signal_length``. ``compute()`` gives that result as a TFArray."""

    def __init__(self, data, times, freqs, fs, layout, signal_length=None):
        self.data, self.times, self.freqs = data, np.asarray(times), np.asarray(freqs)
        self.fs, self.layout, self.signal_length = fs, layout, signal_length

    shape = property(lambda self: self.data.shape)
    dtype = property(lambda self: self.data.dtype)
    chunks = property(lambda self: self.data.chunks)

    def compute(self, **options):
        return TFArray(self.data.compute(**options), self.times, self.freqs, self.fs, self.layout,
                       self.signal_length)

    def __repr__(self):
        return "DaskTF(%r, layout=%r)" % (self.data, self.layout)


def _as_dask(x, chunks):
    """x as a float64 or complex128 dask array; an array in memory is cut
    into blocks of ``chunks`` samples (default: eight blocks)."""
    if not isinstance(x, da.Array):
        x = signal(x)
        return da.from_array(x, chunks=x.shape[:-1] + (chunks or max(x.shape[-1] // 8, 1),))
    return x.astype(np.complex128 if x.dtype.kind == "c" else np.float64)


def _per_channel(x, one):
    """one(channel) -> DaskTF for a 1-D x, stacked over the rows of a 2-D one."""
    if x.ndim == 1:
        return one(x)
    if x.ndim != 2:
        raise ValueError("the signal must be 1-D or 2-D (channels x samples), not of shape %s" % (x.shape,))
    parts = [one(row) for row in x]
    first = parts[0]
    return DaskTF(da.stack([p.data for p in parts]), first.times, first.freqs, first.fs, first.layout,
                  first.signal_length)


def _frame_ranges(frames, hop, x):
    """(first, stop) frame ranges of about one input chunk each."""
    per = max(2, max(x.chunks[-1]) // hop)
    return cli._blocks(frames, per) if frames > 0 else []


def _framed(y, frames, hop, length, compute, columns, dtype):
    """frames x columns dask array whose block (first, stop) is
    compute(samples, first) cut to stop - first frames, the samples being
    those the analysis reads from frame first on (cli.block_span)."""
    parts = []
    for first, stop in _frame_ranges(frames, hop, y):
        begin, end = cli.block_span(first, stop, hop, length, y.shape[-1])
        block = dask.delayed(_cut)(compute, y[begin:end], first, stop - first, length)
        parts.append(da.from_delayed(block, shape=(stop - first, columns), dtype=dtype))
    if not parts:
        return da.zeros((0, columns), dtype=dtype)
    return da.concatenate(parts, axis=0)


def _cut(compute, samples, first, count, length):
    if len(samples) <= length:  # the STFT needs one sample more than a window
        samples = np.concatenate([samples, np.zeros(length + 1 - len(samples), samples.dtype)])
    return np.asarray(compute(samples, first))[:count]


def _extended(x, boundary, before, after):
    """x with before / after samples added by a boundary rule, as a dask
    array: the rules read only the samples at the ends, so they are applied
    to the first and last m + 1 samples joined."""
    if boundary is None or before == after == 0:
        return x
    n, m = x.shape[-1], max(before, after)
    ends = x if n <= 2 * m + 2 else da.concatenate([x[:m + 1], x[n - m - 1:]])
    z = dask.delayed(lambda e: linear._extended(signal(e), boundary, before, after))(ends)
    pieces = [da.from_delayed(z[:before], shape=(before,), dtype=x.dtype), x,
              da.from_delayed(z[before + ends.shape[-1]:], shape=(after,), dtype=x.dtype)]
    return da.concatenate(pieces)


def _stft_family(one_call, x, fs, window, nperseg, hop, bins, start, boundary, chunks, **options):
    """stft / spectrogram: the one call on each block, with the block's start."""
    x = _as_dask(x, chunks)
    w = linear._window_samples(window, nperseg, True)
    hop, bins = linear._stft_grid(w, hop, bins)
    L, centre = len(w), len(w) / 2
    probe = one_call(np.zeros(L + 1, x.dtype), fs, window=w, hop=hop, bins=bins, boundary=None, **options)

    def one(channel):
        n = channel.shape[-1]
        if boundary is None:
            before, count = 0, linear._frame_count(n, L, hop, bins)
        else:
            linear._refuse_empty(channel, boundary)
            before, after, count = linear._frames_within(n, L, hop, centre, L + 1)
            channel = _extended(channel, boundary, before, after)
        origin = start - before

        def compute(samples, first):
            return one_call(samples, fs, window=w, hop=hop, bins=bins, start=origin + first * hop,
                            boundary=None, check_finite=False, **options)

        data = _framed(channel, count, hop, L, compute, probe.shape[-1], probe.dtype)
        return DaskTF(data, time_axis(count, hop, fs, offset=origin + centre), probe.freqs, fs, probe.layout,
                      n if one_call is linear.stft else None)

    return _per_channel(x, one)


def stft(x, fs=1.0, *, window="hann", nperseg=None, hop=None, bins=None, start=0, onesided=False, scaling=None,
         boundary="zero", chunks=None):
    """``varnel.stft`` of a dask array (or of an array cut into blocks of
    ``chunks`` samples), as a DaskTF."""
    return _stft_family(linear.stft, x, fs, window, nperseg, hop, bins, start, boundary, chunks,
                        onesided=onesided, scaling=scaling)


def spectrogram(x, fs=1.0, *, window="hann", nperseg=None, hop=None, bins=None, start=0, scaling=None,
                boundary=None, chunks=None):
    """``varnel.spectrogram`` of a dask array, as a DaskTF."""
    return _stft_family(linear.spectrogram, x, fs, window, nperseg, hop, bins, start, boundary, chunks,
                        scaling=scaling)


def dgt(x, fs=1.0, *, window="gaussian", nperseg=None, hop=None, bins=None, dual=True, boundary=None,
        chunks=None):
    """``varnel.dgt`` of a dask array, as a DaskTF. Frame k reads the
    samples from k*hop - L//2 on: before the signal's start, the end of
    the zero-padded signal (the transform is periodic) or what the
    ``boundary`` rule puts there."""
    x = _as_dask(x, chunks)
    g = linear._window_samples(window, nperseg, True)
    hop, bins = linear._gabor_grid(g, hop, bins)
    h = linear.dual_window(g, hop, bins, check_finite=False) if dual else g
    L, real = len(h), x.dtype.kind == "f"
    probe = linear.dgt(np.zeros(L + hop, x.dtype), fs, window=h, hop=hop, bins=bins, dual=False)
    ahead = L // 2

    def one(channel):
        n = channel.shape[-1]
        frames = -(-n // hop)
        need = (frames - 1) * hop + L  # samples from -L//2 to the last frame's end
        if boundary is None:
            padded = frames * hop
            if ahead > padded or need - ahead > 2 * padded:  # the window wraps more than once
                whole = dask.delayed(linear.dgt)(channel, fs, window=h, hop=hop, bins=bins, dual=False)
                data = da.from_delayed(whole, shape=(frames,) + probe.shape[1:], dtype=probe.dtype)
                return DaskTF(data, time_axis(frames, hop, fs), probe.freqs, fs, probe.layout)
            xp = da.concatenate([channel, da.zeros(padded - n, dtype=channel.dtype)])
            y = da.concatenate([xp[padded - ahead:], xp, xp[:max(0, need - ahead - padded)]])
        else:
            linear._refuse_empty(channel, boundary)
            y = _extended(channel, boundary, ahead, max(0, need - ahead - n))

        def compute(samples, first):
            return linear.stft(samples, fs, window=h, hop=hop, bins=bins, start=first * hop, onesided=real,
                               boundary=None, check_finite=False)

        data = _framed(y, frames, hop, L, compute, probe.shape[-1], probe.dtype)
        return DaskTF(data, time_axis(frames, hop, fs), probe.freqs, fs, probe.layout)

    return _per_channel(x, one)


def reassigned_spectrogram(x, fs=1.0, *, window="hann", nperseg=None, hop=None, bins=None, boundary=None,
                           chunks=None):
    """``varnel.reassigned_spectrogram`` of a dask array, as a DaskTF.
    Each block computes its cells' energies and targets from the STFTs with
    the three reassignment windows; energy landing outside the block is
    handed to the block it lands in."""
    from . import adaptive
    x = _as_dask(x, chunks)
    w = linear.get_window(window, nperseg)
    hop, bins = linear._stft_grid(w, hop, bins)
    L, centre = len(w), (len(w) - 1) / 2
    probe = adaptive.reassigned_spectrogram(np.zeros(L, x.dtype), fs, window=w, hop=hop, bins=bins)
    real = x.dtype.kind == "f" and bins != 1
    windows = _reassignment_windows(w, bins)

    def one(channel):
        n = channel.shape[-1]
        before, after, count = 0, 0, linear._frame_count(n, L, hop, bins, L)
        if boundary is not None:
            linear._refuse_empty(channel, boundary)
            before, after, count = linear._frames_within(n, L, hop, centre, L)
            channel = _extended(channel, boundary, before, after)
        m = channel.shape[-1]
        total = (m - L) // hop + 1 if m >= L else 0
        energy = da.sum(abs(channel) ** 2) if real else da.sum(channel.real ** 2) + da.sum(channel.imag ** 2)
        threshold = dask.delayed(_threshold)(energy, m, real)
        ranges = _frame_ranges(total, hop, channel)
        local, away = [], []
        for first, stop in ranges:
            begin, end = cli.block_span(first, stop, hop, L, m)
            cells = dask.delayed(_reassign_block, nout=2)(channel[begin:end], first, stop, total, threshold,
                                                          windows, hop, bins, real)
            local.append(cells[0])
            away.append(cells[1])
        parts = []
        for j, (first, stop) in enumerate(ranges):
            if first < count:
                stop = min(stop, count)
                block = dask.delayed(_gather)(local[j], away[:j] + away[j + 1:], first, stop)
                parts.append(da.from_delayed(block, shape=(stop - first, probe.shape[-1]), dtype=np.float64))
        data = da.concatenate(parts) if parts else da.zeros((0, probe.shape[-1]))
        return DaskTF(data, time_axis(count, hop, fs, offset=centre - before), probe.freqs, fs, probe.layout)

    return _per_channel(x, one)


def _reassignment_windows(w, bins):
    # The window scaled to give |X|^2/bins, weighted by time from its centre,
    # and its difference derivative (central inside, wrapped sums at the ends).
    h = w / math.sqrt(bins)
    last = len(h) - 1
    th = (np.arange(len(h)) - last / 2.0) * h
    dh = np.empty_like(h)
    d = (h[last] - h[0]) / last
    dh[0] = (d + h[1] + h[last]) / 2.0
    dh[1:last] = (h[2:] - h[:-2]) / 2.0
    dh[last] = (d - h[last - 1] - h[0]) / 2.0
    return h, th, dh


def _threshold(energy, n, real):
    power = math.sqrt(energy / n) ** 2 if real else energy / n
    t = 1e-6 * power
    return t if math.isfinite(t) else math.nan


def _reassign_block(samples, first, stop, total, threshold, windows, hop, bins, real):
    """(energy of frames first..stop-1 that stays among them, (frames,
    bins, energies) of what lands in other frames)."""
    count, kept = stop - first, (bins // 2 if real else bins)
    if not real:
        samples = samples.astype(np.complex128)
    X = [_cut(lambda s, _: linear.stft(s, window=v, hop=hop, bins=bins, onesided=real, boundary=None,
                                       check_finite=False), samples, 0, count, len(v))[:, :kept]
         for v in windows]
    xh, xth, xdh = X
    P = xh.real ** 2 + xh.imag ** 2
    frame = first + np.arange(count)[:, None]
    column = np.arange(kept)[None, :]
    with np.errstate(all="ignore"):
        shift = np.floor((xth.real * xh.real + xth.imag * xh.imag) / P / hop + 0.5)
        turn = np.floor((xdh.imag * xh.real - xdh.real * xh.imag) / P * (bins / (2 * np.pi)) + 0.5)
        stay = (P <= threshold if real else P < threshold) | ~np.isfinite(shift) | ~np.isfinite(turn)
    target = np.where(stay, frame, frame + np.where(stay, 0, shift)).astype(np.int64)
    where = np.where(stay, column, (column - np.where(stay, 0, turn).astype(np.int64)) % bins)
    keep = (target >= 0) & (target < total)
    if real:
        where = np.where(where > bins // 2, bins - where, where)
        keep &= where != bins // 2
    inside = keep & (target >= first) & (target < stop)
    local = np.zeros((count, kept))
    np.add.at(local, (target[inside] - first, where[inside]), P[inside])
    outside = keep & ~inside
    return local, (target[outside], where[outside], P[outside])


def _gather(local, away, first, stop):
    out = local[:stop - first].copy()
    for target, where, energy in away:
        mine = (target >= first) & (target < stop)
        np.add.at(out, (target[mine] - first, where[mine]), energy[mine])
    return out


# ------------------------------------------------------------------------
# Collections of recordings

# The command line's analysis options, as batch takes them; None: the
# method's default.
OPTIONS = ("window", "hop", "bins", "order", "terms", "boundary", "fs")


# glibc stops adapting its allocation thresholds once one of them is set,
# as distributed's nanny sets the trim threshold for its workers: every
# array above 128 KiB is then mapped afresh and page-faulted on each call
# (ten times the time of a 2^17-sample spectrogram here). These are the
# values glibc's own adaptation reaches in a long-running process.
WORKER_MALLOC = {"MALLOC_MMAP_THRESHOLD_": str(32 << 20), "MALLOC_TRIM_THRESHOLD_": str(64 << 20)}


def local_cluster(workers=None, **options):
    """A distributed.LocalCluster of ``workers`` processes (default: one per
    CPU) of one thread each, no dashboard, quiet, with WORKER_MALLOC in
    their environment where this one does not set those variables (they
    are in this process's environment while the workers start, so start
    clusters from one thread)."""
    import logging
    from distributed import LocalCluster
    saved = dict(os.environ)
    for name, value in WORKER_MALLOC.items():
        os.environ.setdefault(name, value)
    try:
        return LocalCluster(**dict(dict(n_workers=workers or os.cpu_count() or 1, threads_per_worker=1,
                                        processes=True, dashboard_address=None, silence_logs=logging.ERROR),
                                   **options))
    finally:
        os.environ.clear()
        os.environ.update(saved)


def analyse_one(source, method, options, final):
    """Analyse one recording (a path or an array) as ``analyze`` does and
    write the values to ``final`` (.npy, renamed into place when complete);
    a row of the index, never an exception: a recording that cannot be
    analysed gives status "failed" and the sentence saying why."""
    started = time.perf_counter()
    try:
        args = argparse.Namespace(progress=False, **{name: options.get(name) for name in OPTIONS})
        if isinstance(source, str):
            recording = io.read_signal(source)
            data, rate, label = recording.data, recording.fs, source
        else:
            data, rate, label = np.atleast_2d(signal(source)), None, "the array"
        fs = args.fs or rate or 1.0
        cli._check_finite(data, range(1, len(data) + 1), fs, label)
        method = methods.get(method)
        tf = cli.analyse(method, data, fs, cli.grid_for(method, args, data), show_progress=False)
        with cli.StagedOutputs() as staged:
            np.save(staged.path(final), np.asarray(tf))
        return dict(status="done", shape=list(tf.shape), error=None, seconds=time.perf_counter() - started)
    except Exception as error:  # noqa: BLE001 (recorded for the index; the other recordings go on)
        message = getattr(error, "message", None) or str(error) or type(error).__name__
        if isinstance(error, VarnelError) and error.name:
            message += " (%s)" % error.name
        return dict(status="failed", shape=None, error=message.replace("\n", " "),
                    seconds=time.perf_counter() - started)


def read_index(folder):
    """The rows of folder/index.json by input, or {} when there is none."""
    try:
        with open(os.path.join(folder, INDEX)) as f:
            return {row["input"]: row for row in json.load(f)}
    except (OSError, ValueError, KeyError, TypeError):
        return {}


def _write_index(folder, rows):
    with cli.StagedOutputs() as staged:
        with open(staged.path(os.path.join(folder, INDEX)), "w") as f:
            json.dump(rows, f, indent=1)
            f.write("\n")


def batch(inputs, method, out, *, client=None, progress=sys.stderr, **options):
    """Analyse each input (a signal file, or an array of samples or
    channels x samples) with a method of the command line, one task per
    input on ``client`` (a distributed.Client; None: one after another in
    this process), writing out/<name>.npy and out/index.json.

    The index has one row per input: ``input`` (absolute path, or "array
    N"), ``output`` (the .npy file's name), ``shape``, ``status`` ("done"
    or "failed"), ``error`` (the sentence saying why it failed), ``method``,
    ``options`` and ``seconds``; it is rewritten (atomically, as every
    output) after each input, so that an interrupted run keeps what it
    finished; rows of inputs that a run does not name are kept. An input
    recorded as done with the same method and options, whose output is
    there, is skipped; failed ones are tried again.
    ``options`` are those of ``analyze`` (window="hann:1024", hop, bins,
    order, terms, boundary, fs). Progress goes to ``progress`` (None:
    nowhere), a line per input. Returns the rows in input order, each with
    ``skipped`` (True for the inputs this run left alone)."""
    unknown = set(options) - set(OPTIONS)
    if unknown:
        raise TypeError("unknown option %s; batch takes %s" % (", ".join(sorted(unknown)), ", ".join(OPTIONS)))
    methods.get(method)
    options = {name: value for name, value in options.items() if value is not None}
    out = os.path.abspath(out)  # the workers write there, from wherever they run
    os.makedirs(out, exist_ok=True)
    known = read_index(out)
    taken = {row["output"] for row in known.values()}
    rows, todo = [], []
    for i, source in enumerate(inputs):
        if isinstance(source, (str, os.PathLike)):
            # Absolute, so that workers started elsewhere find the same file.
            source = os.path.abspath(os.fspath(source))
            key, stem = source, os.path.splitext(os.path.basename(source))[0]
        else:
            key, stem = "array %d" % i, "array-%d" % i
        row = dict(known.get(key) or {}, input=key)
        if "output" not in row:
            name, k = stem + ".npy", 1
            while name in taken:
                k += 1
                name = "%s-%d.npy" % (stem, k)
            taken.add(name)
            row["output"] = name
        if not (row.get("status") == "done" and row.get("method") == method and row.get("options") == options
                and os.path.isfile(os.path.join(out, row["output"]))):
            row.update(method=method, options=options, status="pending", shape=None, error=None)
            todo.append((len(rows), source))
        rows.append(row)
    # Rows of inputs this run does not name stay in the index, first.
    named = {row["input"] for row in rows}
    kept = [row for key, row in known.items() if key not in named]
    _say(progress, "%d input%s: %d already done, %d to analyse"
         % (len(rows), "" if len(rows) == 1 else "s", len(rows) - len(todo), len(todo)))
    for done, (i, result) in enumerate(_results(todo, rows, method, options, out, client), 1):
        rows[i].update(result)
        _write_index(out, kept + rows)
        _say(progress, "[%d/%d] %s: %s" % (done, len(todo), rows[i]["input"], "done, shape %s" % (
            tuple(result["shape"]),) if result["status"] == "done" else "failed: " + result["error"]))
    if not todo:
        _write_index(out, kept + rows)
    waiting = {i for i, _ in todo}
    return [dict(row, skipped=i not in waiting) for i, row in enumerate(rows)]


def _results(todo, rows, method, options, out, client):
    """(row number, result) per input as each finishes."""
    if client is None:
        for i, source in todo:
            yield i, analyse_one(source, method, options, os.path.join(out, rows[i]["output"]))
        return
    from distributed import as_completed
    futures = {client.submit(analyse_one, source, method, options, os.path.join(out, rows[i]["output"]),
                             pure=False): i for i, source in todo}
    for future in as_completed(futures):
        try:
            result = future.result()
        except Exception as error:  # noqa: BLE001 (a worker lost while analysing it)
            result = dict(status="failed", shape=None, error="%s: %s" % (type(error).__name__, error))
        yield futures[future], result


def _say(stream, line):
    if stream is not None:
        stream.write("varnel: %s\n" % line)
        stream.flush()
