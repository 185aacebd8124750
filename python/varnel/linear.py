"""numpy layer of the linear transforms: STFT, spectrogram, Gabor transform
and expansion, Gaussian and dual windows, signal extension.

Common keywords: ``window`` (the window samples, a 1-D array), ``hop`` (the
time step in samples), ``bins`` (the number of frequency bins, the FFT
length, a power of two), ``fs`` (the sample rate in Hz, used for the
axes only) and ``workers`` (threads for multi-channel input). A signal is
1-D (samples) or 2-D (channels x samples); real and complex signals are
both accepted and complex ones give complex-signal results. Results have
exactly the sizes the library defines; invalid arguments raise
``varnel.ArgumentError`` with the library's status code.
"""
import ctypes
import operator

import numpy as np

from . import axes, raw
from ._arrays import (call, complex_to_hc, hc_to_complex, integer, per_channel, pointer, signal,
                      window as as_window)
from .raw import ExtensionMode, window_spec
from .result import TFArray


def _usable(hop, bins):
    return hop >= 1 and bins >= 1 and bins & (bins - 1) == 0


def _frame_count(n, length, hop, bins, shortest=None):
    # Only meaningful when the library will accept the arguments; otherwise
    # it refuses them before writing, and an empty output is enough. The
    # STFT needs more samples than the window (shortest = length + 1).
    if not _usable(hop, bins) or n < (length + 1 if shortest is None else shortest):
        return 0
    return (n - length) // hop + 1


def _grid(window, hop, bins):
    w = as_window(window)
    return w, integer(hop, "hop"), integer(bins, "bins")


def stft(x, *, window, hop, bins, fs=1.0, start=0, onesided=False, workers=None):
    """Short-time Fourier transform.

    Frame i covers samples ``i*hop .. i*hop + len(window) - 1``; there are
    ``(n - len(window)) // hop + 1`` frames for n samples (n must exceed
    the window length). The windowed frame is folded onto ``bins`` points
    (window longer than ``bins``) or zero-filled, and its phase refers to
    absolute sample time: ``X[i, k] = sum_j w[j] x[t] exp(-2j pi k t / bins)``
    with ``t = i*hop + j``, unscaled.

    Returns a complex TFArray (frames, bins) with the bins in FFT order
    (negative frequencies in the upper half), or (frames, bins//2 + 1) for
    ``onesided=True`` and a real signal; (channels, frames, ...) for 2-D
    input. ``.times`` are the frame centres ``(start + i*hop + len(window)/2)
    / fs``, ``.freqs`` the bin frequencies in Hz.

    ``start`` is the absolute index of x[0] in a longer signal: phases and
    times then continue those of the whole, so that blocks overlapping by
    ``len(window) - hop`` samples give the frames of one call over all.
    """
    x = signal(x)
    w, hop, bins = _grid(window, hop, bins)
    start = operator.index(start)
    spec = window_spec(w, hop, bins)
    real = x.dtype.kind == "f"
    if onesided and not real:
        raise ValueError("onesided=True needs a real signal; a complex one has no redundant bins")

    def one(channel):
        n = len(channel)
        frames = _frame_count(n, len(w), hop, bins)
        context = dict(kind="stft", n=n, L=len(w), hop=hop, bins=bins)
        # The library reduces the shift modulo bins itself; reducing here
        # first keeps any start within its 32-bit argument.
        shift = ctypes.c_int32(start % bins if bins >= 1 else 0)
        if real:
            out = np.empty((frames, max(bins, 0)))
            call("ReSTFTWithShift", pointer(channel), n, spec, ctypes.byref(shift), pointer(out),
                 context=context)
            return hc_to_complex(out, onesided)
        out = np.empty((frames, max(bins, 0)), dtype=np.complex128)
        parts = channel.view(np.float64)
        result = out.view(np.float64)
        call("CxSTFTExWithShift", pointer(parts), raw.pointer(parts, 1), 2, n, spec, ctypes.byref(shift),
             pointer(result), raw.pointer(result, 1), 2, context=context)
        return out

    values = per_channel(one, x, workers)
    count = bins // 2 + 1 if onesided else bins
    return TFArray(values, axes.times(values.shape[-2], hop, fs, offset=start + len(w) / 2),
                   axes.frequencies(bins, fs, count=count), fs,
                   "stft: bins 0..%d in FFT order, phase referred to absolute sample time" % (count - 1))


def spectrogram(x, *, window, hop, bins, fs=1.0, start=0, workers=None):
    """Spectrogram ``|X[i, k]|**2 / bins`` of the STFT (see ``stft``).

    A real signal gives (frames, bins//2): bins 0 .. bins/2 - 1, without the
    Nyquist bin (one bin, the zero-frequency one, for ``bins=1``). A complex
    signal gives (frames, bins) in FFT order. ``.times`` and ``.freqs`` as
    for ``stft`` (``start`` moves the times only).
    """
    return power_map(x, window, hop, bins, fs, workers, ("ReSTFTsp", "CxSTFTsp"), kind="stft",
                     offset=start + len(window) / 2, shortest=lambda length: length + 1,
                     layout="spectrogram: |X|^2/bins, bins 0..%d in FFT order")


def power_map(x, window, hop, bins, fs, workers, exports, *, kind, offset, shortest, layout):
    """The spectrogram-shaped maps (frames x bins//2 for a real signal,
    frames x bins for a complex one or for one bin) of the two ``exports``,
    real first: frames ``(n - L) // hop + 1`` for n >= shortest(L), times
    ``(offset + i*hop) / fs``; ``layout`` is formatted with the last bin."""
    x = signal(x)
    w, hop, bins = _grid(window, hop, bins)
    spec = window_spec(w, hop, bins)
    real = x.dtype.kind == "f" and bins != 1
    kept = bins // 2 if real else max(bins, 0)

    def one(channel):
        n = len(channel)
        frames = _frame_count(n, len(w), hop, bins, shortest(len(w)))
        context = dict(kind=kind, n=n, L=len(w), hop=hop, bins=bins)
        out = np.empty((frames, kept))
        if real:
            call(exports[0], pointer(channel), n, spec, pointer(out), context=context)
        else:
            # One bin keeps the zero-frequency value per frame, which the
            # real form's bins//2 columns would leave out.
            channel = np.ascontiguousarray(channel, dtype=np.complex128)
            call(exports[1], pointer(channel), n, spec, pointer(out), context=context)
        return out

    values = per_channel(one, x, workers)
    return TFArray(values, axes.times(values.shape[-2], hop, fs, offset=offset),
                   axes.frequencies(bins, fs, count=kept), fs, layout % (kept - 1))


def gaussian(length, *, variance=None, centre=None):
    """Unit-energy Gaussian window of ``length`` samples:
    ``(pi*variance)**-0.25 * exp(-(centre - i)**2 / (2*variance))``.

    ``centre`` defaults to ``length / 2``, the sample that the Gabor
    transform places on each frame position and the STFT's frame time;
    ``variance`` (in samples squared) defaults to ``(length / 8)**2``, so
    that the window has decayed to 3e-4 of its peak at either end.
    """
    length = integer(length, "length")
    centre = length / 2.0 if centre is None else float(centre)
    variance = (length / 8.0) ** 2 if variance is None else float(variance)
    if not variance > 0:
        raise ValueError("variance must be positive (got %r)" % variance)
    out = np.zeros(max(length, 0))
    call("Gaussian", length, centre, variance, pointer(out))
    return out


def dual_window(window, hop, bins, *, periodic=False):
    """Dual (analysis) window of the synthesis ``window`` for the Gabor
    lattice ``hop`` x ``bins``: ``dge`` with ``window`` after ``dgt`` with
    the dual reconstructs the signal. The default aperiodic dual serves
    signals of any length; ``periodic=True`` gives the dual for signals of
    exactly ``len(window)`` samples. The window length must be a multiple
    of both ``hop`` and ``bins``, and ``hop <= bins``."""
    w, hop, bins = _grid(window, hop, bins)
    dual = np.zeros_like(w)
    call("FastDual", pointer(w), len(w), hop, bins, 0 if periodic else 1, pointer(dual),
         context=dict(kind="dual", L=len(w), hop=hop, bins=bins))
    return dual


def dgt(x, *, window, hop, bins, fs=1.0, dual=True, workers=None):
    """Discrete Gabor transform on the lattice ``hop`` x ``bins``.

    ``window`` is the synthesis window g: the signal is analysed with its
    dual window (``dual_window``), so that ``dge`` with the same ``window``
    inverts the transform; ``dual=False`` analyses with ``window`` itself.
    The signal is zero-padded to ``F = ceil(n / hop)`` hops and treated as
    periodic; frame k puts window sample ``L//2`` (L = len(window)) on
    sample ``k*hop`` and its phase refers to sample ``-L//2``:
    ``c[k, b] = sum_j h[j] x[k*hop - L//2 + j] exp(-2j pi b (k*hop + j) / bins)``
    with h the analysis window. Lattice rules: L a multiple of ``hop`` and
    ``bins``, ``bins`` a power of two, ``hop <= bins``, n != hop.

    Layout: a real signal gives (F, bins//2 + 1) complex, bins 0 .. bins/2
    (the other half is their conjugate); a complex signal gives (F, bins),
    FFT order. ``.times`` are ``k*hop / fs``, ``.freqs`` in Hz.
    """
    x = signal(x)
    g, hop, bins = _grid(window, hop, bins)
    h = dual_window(g, hop, bins) if dual else g
    spec = window_spec(h, hop, bins)
    real = x.dtype.kind == "f"

    def one(channel):
        n = len(channel)
        frames = -(-n // hop) if _usable(hop, bins) and n >= 1 else 0
        context = dict(kind="dgt", n=n, L=len(h), hop=hop, bins=bins)
        if real:
            out = np.empty((frames, max(bins, 0)))
            call("ReDGT", pointer(channel), n, spec, pointer(out), context=context)
            return hc_to_complex(out, onesided=True)
        out = np.empty((frames, max(bins, 0)), dtype=np.complex128)
        call("CxDGT", pointer(channel), n, spec, pointer(out), context=context)
        return out

    values = per_channel(one, x, workers)
    count = bins // 2 + 1 if real else bins
    return TFArray(values, axes.times(values.shape[-2], hop, fs), axes.frequencies(bins, fs, count=count),
                   fs, "dgt: bins 0..%d in FFT order, frame k centred on sample k*hop" % (count - 1))


def dge(coefficients, *, window, hop, bins, length=None, real=None, workers=None):
    """Discrete Gabor expansion: the signal from Gabor coefficients, with
    ``window`` as the synthesis window (the inverse of ``dgt`` called with
    the same window, hop and bins).

    ``coefficients`` is (frames, bins//2 + 1) for a real signal, as ``dgt``
    returns it (imaginary parts of bin 0 and of the Nyquist bin are
    ignored), or (frames, bins) for a complex one; 3-D for several
    channels. Which one is meant follows from the shape; for ``bins`` <= 2,
    where both shapes agree, pass ``real=`` (the default there is a real
    signal unless the coefficients have nonzero imaginary parts).
    Returns ``length`` samples (default ``frames * hop``, the padded length
    of the analysed signal): real for real coefficients, else complex.
    """
    c = np.asarray(coefficients)
    if c.ndim not in (2, 3):
        raise ValueError("coefficients must be 2-D (frames x bins) or 3-D (channels x frames x bins), "
                         "not of shape %s" % (c.shape,))
    if c.dtype.kind not in "biufc":
        raise TypeError("coefficients must hold numbers, not %s" % c.dtype)
    g, hop, bins = _grid(window, hop, bins)
    spec = window_spec(g, hop, bins)
    frames, width = c.shape[-2], c.shape[-1]
    if real is None:
        if bins > 2 and width == bins // 2 + 1:
            real = True
        elif bins > 2 and width == bins:
            real = False
        else:
            real = not (np.iscomplexobj(c) and np.any(c.imag != 0))
    expected = bins // 2 + 1 if real else bins
    if bins >= 1 and width != expected:
        raise ValueError("coefficients have %d bins per frame; %s expects %d for bins=%d"
                         % (width, "a real signal" if real else "a complex signal", expected, bins))
    length = frames * max(hop, 0) if length is None else integer(length, "length")
    context = dict(kind="dge", frames=frames, length=length, L=len(g), hop=hop, bins=bins)
    if real:
        c = np.ascontiguousarray(complex_to_hc(c.astype(np.complex128, copy=False), max(bins, 1)))
    else:
        c = np.ascontiguousarray(c, dtype=np.complex128)

    def one(block):
        if real:
            out = np.empty(max(length, 0))
            call("ReDGE", pointer(block), frames, bins, spec, pointer(out), length, context=context)
        else:
            out = np.empty(max(length, 0), dtype=np.complex128)
            call("CxDGE", pointer(block), frames, bins, spec, pointer(out), length, context=context)
        return out

    if c.ndim == 2:
        return one(c)
    return per_channel(one, c, workers)


_RULES = {"zero": ExtensionMode.Zero, "symmetric": ExtensionMode.Symmetric,
          "periodic": ExtensionMode.Periodic, "tapered-symmetric": ExtensionMode.TaperedSymmetric,
          "linear": ExtensionMode.Linear, "quadratic": ExtensionMode.Quadratic}


def extension_rule(mode, name="mode"):
    """(library code, rule name) of an extension rule given by name
    (case-insensitive), as an ``ExtensionMode`` or as its int; the name is
    None for an int that is no rule, which the library then refuses."""
    if isinstance(mode, str):
        if mode.lower() not in _RULES:
            raise ValueError("unknown extension rule %r; choose one of %s" % (mode, ", ".join(_RULES)))
        return int(_RULES[mode.lower()]), mode.lower()
    code = integer(mode, name)
    return code, next((rule for rule, value in _RULES.items() if value == code), None)


def extend(x, m, mode="symmetric"):
    """x with ``m`` samples added on each side by an extension rule:
    ``"zero"``, ``"symmetric"`` (mirrored about the end sample, which is
    repeated), ``"periodic"``, ``"tapered-symmetric"`` (the mirror weighted
    by a Hann taper), ``"linear"`` (the line through the two end samples) or
    ``"quadratic"`` (the parabola through the three end samples); an
    ``ExtensionMode`` value or its int is accepted too. Returns
    ``len(x) + 2*m`` samples; real or complex as x; 1-D only."""
    x = signal(x)
    if x.ndim != 1:
        raise ValueError("extend takes a 1-D signal")
    m = integer(m, "m")
    code, rule = extension_rule(mode)
    left = np.empty(max(m, 0), dtype=x.dtype)
    right = np.empty(max(m, 0), dtype=x.dtype)
    name = "ReExtension" if x.dtype.kind == "f" else "CxExtension"
    call(name, pointer(x), len(x), code, m, pointer(left), pointer(right),
         context=dict(kind="extension", n=len(x), m=m, mode=rule))
    return np.concatenate([left, x, right])
