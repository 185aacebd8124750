"""numpy layer of the linear transforms: STFT and its inverse, spectrogram,
Gabor transform and expansion, windows, signal extension.

Common keywords: ``window`` (a window: its samples as a 1-D array, a name
such as ``"hann"``, or a scipy window spec such as ``("kaiser", 8)``; see
``get_window``), ``nperseg`` (the length of a named window, default 256),
``hop`` (the time step in samples), ``bins`` (the number of frequency bins,
the FFT length, a power of two), ``fs`` (the sample rate in Hz, used for
the axes and the 'density'/'psd' scalings; the second positional argument,
as in scipy.signal), ``boundary`` (an extension rule for the signal's ends,
see below), ``check_finite`` and ``workers`` (threads for multi-channel
input). A signal is 1-D (samples) or 2-D (channels x samples); real and
complex signals are both accepted and complex ones give complex-signal
results. Invalid arguments raise ``varnel.ArgumentError``: with the
library's status code when the library refused them, with ``code`` None
when this layer did (values the library would accept and turn into
nothing useful: a non-finite sample, an empty or all-zero window).

Orientation against scipy.signal: the results are TFArrays of frames x
bins (time down, frequency across) with ``.times`` (frame centres, s) and
``.freqs`` (Hz); scipy's ``f, t, Sxx`` is bins x frames, so ``Sxx`` is
compared with ``S.T``, ``f`` with ``S.freqs`` and ``t`` with ``S.times``.
The library's STFT has full frames only (frame i covers samples ``i*hop ..
i*hop + L - 1`` of L window samples), as scipy.signal.spectrogram; scipy's
stft pads ``nperseg//2`` zeros at each end by default (boundary='zeros')
and refers times to the unpadded signal, which ``boundary="zero"`` does
here too (see below), on the same hop lattice.

Non-finite samples (NaN, +-inf) in a signal, coefficients or a window raise
ArgumentError naming the first of them, unless ``check_finite=False``
(as in scipy.linalg), which hands them to the library: they propagate
through its arithmetic (an FFT spreads one over every bin of its frame).

``boundary``: None transforms the signal as it is (the default, except
for ``stft`` and ``istft``, which pad zeros as scipy.signal.stft does). A rule of
``extend`` ("zero", "symmetric", "periodic", "tapered-symmetric", "linear",
"quadratic") extends the signal at both ends by that rule, far enough for
every frame whose centre lies within the signal (from sample 0 to sample
n - 1) to be computed in full, transforms it, and keeps exactly those
frames, on the same lattice (multiples of ``hop``) as without it and with
``.times`` in the original signal's time: the ends of the signal then show
what the rule puts beyond them rather than the edge of the transform.
"""
import ctypes
import math
import operator

import numpy as np

from . import axes, raw
from ._arrays import (call, complex_to_hc, hc_to_complex, integer, per_channel, pointer, real_number,
                      require_finite, require_finite_through, sample_rate, signal, window as as_window)
from .errors import ArgumentError, next_power_of_two, power_of_two
from .raw import ExtensionMode, window_spec
from .result import TFArray

# scipy.signal's default segment length, the length of a named window when
# no nperseg is given.
NPERSEG = 256

# Cosine-sum windows built here when scipy is missing, by their names and
# scipy's aliases: w[i] = sum_k (-1)**k a_k cos(2 pi k i / N), N the length
# (periodic) or the length less one (symmetric), as scipy builds them.
_COSINE_WINDOWS = {"hann": (0.5, 0.5), "han": (0.5, 0.5),
                   "hamming": (0.54, 0.46), "hamm": (0.54, 0.46), "ham": (0.54, 0.46),
                   "blackman": (0.42, 0.5, 0.08), "black": (0.42, 0.5, 0.08), "blk": (0.42, 0.5, 0.08),
                   "boxcar": (1.0,), "box": (1.0,), "ones": (1.0,), "rect": (1.0,), "rectangular": (1.0,)}
_GAUSSIAN_NAMES = ("gaussian", "gauss")


def _usable(hop, bins):
    return hop >= 1 and power_of_two(bins)


def _frame_count(n, length, hop, bins, shortest=None):
    # Only meaningful when the library will accept the arguments; otherwise
    # it refuses them before writing, and an empty output is enough. The
    # STFT needs more samples than the window (shortest = length + 1).
    if not _usable(hop, bins) or n < (length + 1 if shortest is None else shortest):
        return 0
    return (n - length) // hop + 1


# ------------------------------------------------------------------------
# Windows

def _is_spec(window):
    """Whether ``window`` names a window (a string, or a tuple starting with
    one, as scipy.signal.get_window takes them) rather than holding samples."""
    return isinstance(window, str) or (isinstance(window, tuple) and len(window) > 0
                                       and isinstance(window[0], str))


def _scipy_get_window():
    try:
        from scipy.signal import get_window as scipy_get_window
    except ImportError:
        return None
    return scipy_get_window


def get_window(window="hann", length=None, *, periodic=True, check_finite=True):
    """Window samples from a window argument, as every ``window=`` keyword
    of the package takes it.

    ``window`` is a name ("hann", "hamming", "blackman", "boxcar" or "rect",
    "gaussian", "kaiser", ...), a scipy window spec tuple such as
    ``("kaiser", 8)`` or ``("tukey", 0.25)``, or the samples themselves (a
    1-D real array, returned as float64; ``length``, when given, must then
    equal its length). Named windows have ``length`` samples (default 256,
    scipy's nperseg) and are built by ``scipy.signal.get_window(window,
    length, fftbins=periodic)`` when scipy is importable: periodic by
    default, as scipy's spectral functions use them. Without scipy, hann,
    hamming, blackman and boxcar/rect (and their scipy aliases) are built
    here by the same formulas; other names need scipy. "gaussian" without
    parameters is the library's unit-energy Gaussian (``gaussian(length)``,
    standard deviation length/8, centred on sample length/2, or on
    (length-1)/2 with ``periodic=False``), the default window of ``dgt``;
    ``("gaussian", std)`` is scipy's.

    Refused with ArgumentError: a length below 1, and a window that is zero
    everywhere; with ``check_finite``, an array holding NaN or infinities.
    """
    if not _is_spec(window):
        w = as_window(window, check_finite=check_finite)
        if length is not None and integer(length, "length") != len(w):
            raise ValueError("the window has %d samples but nperseg (length) is %d; give one or the other"
                             % (len(w), integer(length, "length")))
        return w
    length = NPERSEG if length is None else integer(length, "length")
    if length < 1:
        raise ArgumentError.refused("a window needs at least 1 sample (got a length of %d)" % length)
    name = window if isinstance(window, str) else window[0]
    key = name.lower()
    spec = key if isinstance(window, str) else (key,) + tuple(window[1:])
    if key in _GAUSSIAN_NAMES and isinstance(window, str):
        w = gaussian(length, centre=length / 2.0 if periodic else (length - 1) / 2.0)
    else:
        scipy_get_window = _scipy_get_window()
        if scipy_get_window is not None:
            try:
                w = scipy_get_window(spec, length, fftbins=periodic)
            except (ValueError, TypeError) as error:
                raise ValueError("window %r: %s" % (window, error)) from None
        elif key in _COSINE_WINDOWS and isinstance(window, str):
            w = _cosine_window(_COSINE_WINDOWS[key], length, periodic)
        else:
            raise ValueError("the window %r needs scipy (scipy.signal.get_window), which is not installed; "
                             "without it hann, hamming, blackman, boxcar (rect) and gaussian are built in, "
                             "or pass the samples as an array" % (window,))
    return as_window(w, check_finite=False)


def _cosine_window(coefficients, length, periodic):
    if length == 1:
        return np.ones(1)  # as scipy, periodic or not
    period = length if periodic else length - 1
    phase = 2 * np.pi * np.arange(length) / period
    return sum((-1) ** k * a * np.cos(k * phase) for k, a in enumerate(coefficients))


def _window_samples(window, nperseg, check_finite):
    """The samples of a ``window=`` argument with ``nperseg`` as its length."""
    if nperseg is not None:
        nperseg = integer(nperseg, "nperseg")
    return get_window(window, nperseg, check_finite=check_finite)


def _stft_grid(w, hop, bins):
    """hop and bins of the STFT family: by default a quarter of the window
    length and the next power of two at or above it (no folding)."""
    hop = max(1, len(w) // 4) if hop is None else integer(hop, "hop")
    bins = next_power_of_two(len(w)) if bins is None else integer(bins, "bins")
    return hop, bins


def _gabor_grid(g, hop, bins):
    """hop and bins of the Gabor transform: by default bins = the window
    length (which must then be a power of two) and hop = bins / 4."""
    if bins is None:
        if not power_of_two(len(g)):
            raise ValueError("give bins=: the window has %d samples, not a power of two, and the Gabor lattice "
                             "needs a power-of-two bin count dividing the window length" % len(g))
        bins = len(g)
    bins = integer(bins, "bins")
    hop = max(1, bins // 4) if hop is None else integer(hop, "hop")
    return hop, bins


# ------------------------------------------------------------------------
# Boundary treatment

def _boundary_rule(boundary):
    code, rule = extension_rule(boundary, "boundary")
    if rule is None:
        raise ValueError("boundary=%r is not an extension rule; choose one of %s" % (boundary, ", ".join(_RULES)))
    return code


def _extended(x, boundary, before, after):
    """x (1-D or 2-D) with ``before`` samples added at its start and
    ``after`` at its end by the extension rule ``boundary``."""
    code = _boundary_rule(boundary)
    m = max(before, after)
    n = x.shape[-1]

    def one(row):
        return _extend(row, m, code)[m - before:m + n + after]

    return one(x) if x.ndim == 1 else np.stack([one(row) for row in x])


def _frames_within(n, length, hop, centre, shortest):
    """Frames on the lattice of starts k*hop (k may be negative) whose
    centres ``k*hop + centre`` lie in 0 .. n-1: (samples to add before and
    after the signal so that a transform of the extended signal starts with
    exactly those frames, their number)."""
    if hop < 1:
        return 0, max(shortest - n, 0), 0  # the library refuses the hop
    first = -math.floor(centre / hop)
    last = math.floor((n - 1 - centre) / hop)
    count = max(last - first + 1, 0)
    before = -first * hop
    after = max(last * hop + length - n, 0) if count else 0
    after += max(shortest - (before + n + after), 0)
    return before, after, count


def _refuse_empty(x, boundary):
    if boundary is not None and x.shape[-1] < 1:
        raise ArgumentError.refused("the signal is empty")


# ------------------------------------------------------------------------
# Short-time Fourier transform, its inverse and the spectrogram

def _stft_factor(scaling, w, fs):
    """The factor the frames are multiplied by for an stft ``scaling``."""
    if scaling is None or scaling == "library":
        return 1.0
    if scaling == "spectrum":
        return 1.0 / np.sum(w)
    if scaling == "psd":
        return 1.0 / math.sqrt(fs * np.sum(w * w))
    raise ValueError("scaling=%r is not one of None ('library'), 'spectrum' or 'psd'" % (scaling,))


def stft(x, fs=1.0, *, window="hann", nperseg=None, hop=None, bins=None, start=0, onesided=False, scaling=None,
         boundary="zero", check_finite=True, workers=None):
    """Short-time Fourier transform.

    ``stft(x, fs)`` uses scipy's default window, a periodic Hann of
    ``nperseg`` = 256 samples; ``hop`` defaults to a quarter of the window
    length and ``bins`` to the next power of two at or above it. Frame i
    covers samples ``i*hop .. i*hop + L - 1`` (L = len(window)); there are
    ``(n - L) // hop + 1`` frames for n samples (n must exceed L). The
    windowed frame is folded onto ``bins`` points (window longer than
    ``bins``) or zero-filled, and its phase refers to absolute sample time:
    ``X[i, k] = sum_j w[j] x[t] exp(-2j pi k t / bins)`` with ``t = i*hop +
    j``: unscaled by default (``scaling=None``, or "library"); "spectrum"
    divides by ``sum(w)`` and "psd" by ``sqrt(fs * sum(w**2))``, as
    scipy.signal.stft's scalings.

    Returns a complex TFArray (frames, bins) with the bins in FFT order
    (negative frequencies in the upper half), or (frames, bins//2 + 1) for
    ``onesided=True`` and a real signal; (channels, frames, ...) for 2-D
    input. ``.times`` are the frame centres ``(start + i*hop + L/2) / fs``,
    ``.freqs`` the bin frequencies in Hz.

    Against scipy.signal.stft (``f, t, Zxx``): ``Zxx`` is bins x frames, so
    compare it with ``S.T``; with ``boundary=None, padded=False`` scipy has
    these frames and times; its phase refers to each frame's first sample,
    so ``Zxx[k, i] = S[i, k] * exp(2j pi k i hop / bins)`` with
    ``scaling="spectrum"`` (``onesided=True``; scipy's ``nfft`` is ``bins``
    and must be at least the window length there).

    ``start`` is the absolute index of x[0] in a longer signal: phases and
    times then continue those of the whole, so that blocks overlapping by
    ``L - hop`` samples give the frames of one call over all.

    ``boundary`` (see the module): "zero" by default, as scipy.signal.stft
    pads zeros: the frames whose centres lie within the signal,
    ``floor((n - 1 - c0) / hop) + 1`` of them from the centre ``c0 = L/2
    mod hop``; frames not touching the ends equal those without it.
    ``boundary=None`` gives the library's own frames described above, the
    first starting at x[0]. The result records n (``.signal_length``), so
    that ``istft(stft(x))`` is x, every sample to rounding (when ``hop <=
    L/2``: see ``istft``), given the same window, hop, bins, start, scaling
    and boundary.
    """
    x, fs = signal(x, check_finite=check_finite), sample_rate(fs)
    w = _window_samples(window, nperseg, check_finite)
    hop, bins = _stft_grid(w, hop, bins)
    start = operator.index(start)
    factor = _stft_factor(scaling, w, fs)
    if onesided and x.dtype.kind != "f":
        raise ValueError("onesided=True needs a real signal; a complex one has no redundant bins")
    if boundary is None:
        out = _stft(x, w, hop, bins, fs, start, onesided, workers)
    else:
        _refuse_empty(x, boundary)
        before, after, count = _frames_within(x.shape[-1], len(w), hop, len(w) / 2, len(w) + 1)
        y = _extended(x, boundary, before, after)
        out = _stft(y, w, hop, bins, fs, start - before, onesided, workers)[..., :count, :]
    out.signal_length = x.shape[-1]
    return out * factor if factor != 1.0 else out


def _stft(x, w, hop, bins, fs, start, onesided, workers):
    spec = window_spec(w, hop, bins)
    real = x.dtype.kind == "f"

    def one(channel):
        n = len(channel)
        frames = _frame_count(n, len(w), hop, bins)
        context = dict(kind="stft", n=n, L=len(w), hop=hop, bins=bins)
        # The library reduces the shift modulo bins itself; reducing here
        # first keeps any start within its 32-bit argument.
        shift = ctypes.c_int32(start % bins if bins >= 1 else 0)
        if real and frames:
            return _real_stft_blocks(channel, spec, len(w), hop, bins, frames, start, onesided, context)
        if real:
            out = np.empty((frames, max(bins, 0)))
            call("ReSTFTWithShift", pointer(channel), n, spec, ctypes.byref(shift), pointer(out),
                 context=context)
            return hc_to_complex(out, onesided)
        out = np.empty((frames, max(bins, 0)), dtype=np.complex128)
        parts = channel.view(np.float64)
        result = out.view(np.float64)
        # Imaginary parts one double on, where there are any: with no
        # samples or no frames the library refuses the call unread.
        call("CxSTFTExWithShift", pointer(parts), raw.pointer(parts, min(parts.size, 1)), 2, n, spec,
             ctypes.byref(shift), pointer(result), raw.pointer(result, min(result.size, 1)), 2, context=context)
        return out

    values = per_channel(one, x, workers)
    count = bins // 2 + 1 if onesided else bins
    return TFArray(values, axes.times(values.shape[-2], hop, fs, offset=start + len(w) / 2),
                   axes.frequencies(bins, fs, count=count), fs,
                   "stft: bins 0..%d in FFT order, phase referred to absolute sample time" % (count - 1))


# Doubles of Hc rows made per call when a long real signal's frames are
# made block by block: a buffer that stays in cache, from which each block
# is unpacked into the complex result. Hc rows of the whole signal first
# would be a second array as large as the result, written out to memory
# and read back. All bins of a real signal could come from the complex
# transform over a zero imaginary plane, written in place, in about 20%
# less time at 2^20 samples; but its bins k and bins-k are conjugates only
# to rounding, and istft tells a real signal's frames by exact symmetry.
_BLOCK_DOUBLES = 1 << 15


def _real_stft_blocks(channel, spec, L, hop, bins, frames, start, onesided, context, out=None):
    """The complex frames of a real channel (frames >= 1, arguments the
    library accepts), the Hc rows made a block of frames at a time: each
    block's call starts at its first frame's sample with the phase shift
    that sample has in the whole, so its frames are those of one call.
    Written into ``out`` when given."""
    n = len(channel)
    if out is None:
        out = np.empty((frames, bins // 2 + 1 if onesided else bins), dtype=np.complex128)
    block = max(1, _BLOCK_DOUBLES // bins)
    # A call makes every frame its samples hold, one more than the block
    # asks for unless it is the last; the last block may take a lone last
    # frame too, and with hop 1 the sample past its last window (which
    # callers give it) starts one more.
    scratch = np.empty((min(block + 1, frames) + 1, bins))
    # Pointers made once: into the channel at each block's first sample,
    # which lies inside it, by arithmetic on its address.
    scratch_p, address, shift = pointer(scratch), channel.ctypes.data, ctypes.c_int32(0)
    k0 = 0
    while k0 < frames:
        k1 = min(k0 + block, frames)
        if frames - k1 == 1:
            k1 = frames  # a lone last frame would leave its call no sample past the window
        # The library wants more samples than the window: a block other
        # than the last takes the samples of one frame more.
        stop = min(n, k1 * hop + L)
        shift.value = (start + k0 * hop) % bins
        call("ReSTFTWithShift", ctypes.cast(address + 8 * k0 * hop, raw.double_p), stop - k0 * hop, spec,
             ctypes.byref(shift), scratch_p, context=context)
        hc_to_complex(scratch[:k1 - k0], onesided, out=out[k0:k1])
        k0 = k1
    return out


def istft(S, fs=None, *, window="hann", nperseg=None, hop=None, bins=None, start=0, scaling=None,
          boundary="zero", length=None, real=None, check_finite=True):
    """Inverse of ``stft``: the signal whose STFT is nearest to the frames
    ``S`` in the least-squares sense, which for frames of ``stft`` is the
    signal itself (to rounding) wherever the frames cover it.

    Give the arguments ``stft`` was given (window, nperseg, hop, bins,
    start, scaling, boundary; ``fs`` defaults to ``S.fs`` for a TFArray and
    matters for scaling="psd" only): ``istft(stft(x))`` is x to rounding (about 1e-15
    relative; more for windows folded several times onto fewer bins, whose
    frames are worse conditioned), for real and complex x of any length.
    Where the frames do not determine some sample of the result (a window
    folded onto far fewer bins makes neighbouring frames nearly alike) it
    raises ArgumentError rather than return that sample wrong. With zero
    padding (``boundary="zero"``, the default) the padding is known and not
    solved for: before x[0] always, past the end when ``S`` carries the
    signal's length (a TFArray from ``stft`` does). For windows such as
    Hann folded onto fewer bins, whose frames alone leave patterns at the
    ends undetermined, that is what makes the inverse exist.
    ``S`` is (frames, bins) in FFT order or (frames, bins//2 + 1) one-sided,
    3-D for several channels. When it is a TFArray its ``.times`` are checked
    against the frame positions the arguments give, so that a forgotten
    ``boundary=`` or ``start=`` is said rather than shifting the result.

    Synthesis is the Gabor expansion of the frames with the canonical dual
    of the frames given: each sample is the sum over the frames covering it
    of the window times the frame's inverse FFT, divided by the sum of the
    squared window values (a window no longer than ``bins``); for a longer
    window, whose folded frames couple the samples ``bins`` apart, the
    banded frame operator is solved instead. In the interior this is the
    dual window of the lattice (``dual_window``); at the ends it uses the
    frames that are there.

    Returns ``length`` samples from x[0], by default as many as the signal
    ``stft`` was given (``S.signal_length``, which a TFArray from ``stft``
    carries while all its frames are there), else every sample up to the
    end of the last frame, ``(frames - 1) * hop + L`` (with ``boundary``
    set, counted from x[0]: it may run into the extension past the end).
    Sample t is exact where some frame covers it with a nonzero window
    value; samples no frame covers so are 0. With a boundary rule that is
    every sample of x when ``hop <= L/2`` and the window is nonzero inside
    its ends (the frames centred within x then reach both of its ends).
    Without one, the frames start at x[0] and end at the last full frame:
    x[0] lies under window sample 0 only (0 for a periodic Hann) and the
    samples past ``(frames - 1) * hop + L`` are in no frame. The result is
    real when ``S`` is one-sided, or holds the conjugate-symmetric spectra
    of a real signal (exactly, as ``stft`` gives them), or ``real=True``
    (the real part); complex otherwise.
    """
    values = np.asarray(S)
    if values.ndim not in (2, 3):
        raise ValueError("S must be 2-D (frames x bins) or 3-D (channels x frames x bins), not of shape %s"
                         % (values.shape,))
    if values.dtype.kind not in "biufc":
        raise TypeError("S must hold numbers, not %s" % values.dtype)
    if check_finite:
        require_finite(values, "S")
    if fs is None:
        fs = getattr(S, "fs", 1.0) if isinstance(S, TFArray) else 1.0
    fs = sample_rate(fs)
    w = _window_samples(window, nperseg, check_finite)
    hop, bins = _stft_grid(w, hop, bins)
    if not _usable(hop, bins):
        raise ArgumentError.refused("hop must be at least 1 and bins a power of two (got hop=%d, bins=%d)"
                                    % (hop, bins))
    start = operator.index(start)
    L, frames, width = len(w), values.shape[-2], values.shape[-1]
    if L > bins and hop > bins:
        raise ArgumentError.refused("hop=%d exceeds bins=%d with a window of %d samples folded onto the bins: the "
                                    "frames hold fewer values than the samples they cover, so there is no inverse"
                                    % (hop, bins, L))
    half = bins // 2 + 1
    onesided = width == half and width != bins
    if not onesided and width != bins:
        raise ValueError("the frames have %d bins; bins=%d gives %d (all) or %d (one-sided)"
                         % (width, bins, bins, half))
    if onesided and real is False:
        raise ValueError("one-sided frames describe a real signal; real=False needs all bins")
    # The scaling divides the result rather than the frames: the same
    # up to rounding, for far fewer values and no copy of the frames.
    X, factor = values.astype(np.complex128, copy=False), _stft_factor(scaling, w, fs)
    # Exactly conjugate-symmetric frames are the spectra of real frames,
    # which the real inverse FFT makes from their first half.
    hermitian = real is None and not onesided and _hermitian(X)
    if real is None:
        real = onesided or hermitian
    first, zeros = 0, False
    if boundary is not None:
        zeros = _boundary_rule(boundary) == ExtensionMode.Zero
        first = -math.floor(L / 2 / hop) * hop
    _check_times(S, frames, (start + first + L / 2) / fs, hop / fs)
    span = (frames - 1) * hop + L if frames else 0
    known = getattr(S, "signal_length", None) if isinstance(S, TFArray) else None
    length = (first + span if known is None else known) if length is None else integer(length, "length")
    if length < 0:
        raise ValueError("length must not be negative (got %d)" % length)
    shift = (start + first) % bins
    # The samples of zero padding, known to be 0. The end is known only
    # from the length the frames carry: a length= may cut the signal short.
    fixed = None
    if zeros:
        t = first + np.arange(span)
        fixed = (t < 0) | (t >= known) if known is not None else t < 0

    def one(block):
        if onesided or hermitian:
            # Given fewer than n values, irfft first copies them into n
            # zeros; given n (one-sided frames at the front of rows left
            # uninitialised) it reads only the first n//2 + 1.
            full = block
            if onesided:
                full = np.empty(block.shape[:-1] + (bins,), dtype=np.complex128)
                full[..., :half] = block
            b = np.fft.irfft(full, n=bins, axis=-1)
        else:
            b = np.fft.ifft(block, axis=-1)
            if real:
                b = b.real
        y, unknown = (_least_squares(b, w, hop, bins, shift, fixed) if frames
                      else (np.zeros(0, b.dtype), np.zeros(0, bool)))
        out = np.zeros(length, dtype=y.dtype)
        lo, hi = max(0, first), min(length, first + len(y))
        if hi > lo:
            out[lo:hi] = y[lo - first:hi - first]
            lost = np.flatnonzero(unknown[lo - first:hi - first])
            if len(lost):
                raise ArgumentError.refused(
                    "the frames do not determine sample %d (and %d more) of the result: a %d-sample window folded "
                    "onto bins=%d with hop=%d gives frames too alike to tell those samples apart; use more bins "
                    "(as many as the window has samples) or a shorter window"
                    % (lo + lost[0], len(lost) - 1, L, bins, hop))
        if factor != 1.0:
            out /= factor
        return out

    if X.ndim == 2:
        return one(X)
    return np.stack([one(block) for block in X])


def _hermitian(X):
    """Whether every frame is exactly the spectrum of a real sequence (the
    comparison with the mirrored conjugates covers the Nyquist bin). Taken
    a cache-sized block of frames at a time, so that the mirrored values
    are not a second copy of all the frames, and stopping at the first
    block that differs."""
    frames = X.reshape(-1, X.shape[-1])
    step = max(1, _BLOCK_DOUBLES // max(frames.shape[-1], 1))
    for k in range(0, len(frames), step):
        block = frames[k:k + step]
        if (np.any(block[:, 0].imag != 0) or not np.array_equal(block.real[:, 1:], block.real[:, :0:-1])
                or not np.array_equal(block.imag[:, 1:], -block.imag[:, :0:-1])):
            return False
    return True


def _check_times(S, frames, first_time, step):
    times = getattr(S, "times", None) if isinstance(S, TFArray) else None
    if times is None or len(times) != frames or frames == 0:
        return
    want = first_time + step * np.arange(frames)
    if not np.allclose(times, want, rtol=1e-9, atol=1e-9 * max(abs(step), 1e-300)):
        raise ValueError("the frames' times (%g s, then every %g s) are not where the arguments place them "
                         "(%g s, every %g s); give istft the window, hop, start, fs and boundary that stft was "
                         "given" % (times[0], times[1] - times[0] if frames > 1 else step, first_time, step))


def _overlap_add(rows, hop):
    """sum over frames i of row i of ``rows`` (frames, width) placed at
    i*hop: (frames - 1) * hop + width values. Frames q = ceil(width / hop)
    apart do not overlap, so each residue of i modulo q is one addition of
    whole rows onto a contiguous stretch of the result."""
    frames, width = rows.shape
    q = -(-width // hop)
    out = np.zeros((frames + q) * hop, dtype=rows.dtype)
    for r in range(min(q, frames)):
        some = rows[r::q]
        out[r * hop:r * hop + len(some) * q * hop].reshape(len(some), q * hop)[:, :width] += some
    return out[:(frames - 1) * hop + width]


def _least_squares(b, w, hop, bins, shift, fixed=None):
    """The signal over the frames' span nearest to frames whose inverse
    FFTs (absolute phase: span sample u at index (u + shift) mod bins) are
    ``b``: the solution of the normal equations M y = A* b, M the frame
    operator (sum over frames of the window products of samples bins
    apart) and A* the synthesis with the window itself; and which of its
    samples, though under the frames, they do not determine (set to 0).
    Samples where ``fixed`` is True are known to be 0 and are not solved
    for."""
    frames, L = len(b), len(w)
    span = (frames - 1) * hop + L

    def adjoint(b):
        # Frame i's values from index (i*hop + shift) mod bins on, in
        # order, serve every stretch of bins samples under its window.
        turned = _rolled_rows(b, -hop, bins, -shift)
        if L <= bins:
            weighted = turned[:, :L]
            weighted *= w
            return _overlap_add(weighted, hop)
        out = np.zeros(span, dtype=np.result_type(b, w))
        for c in range(0, L, bins):
            part = _overlap_add(turned[:, :min(bins, L - c)] * w[c:c + bins], hop)
            out[c:c + len(part)] += part
        return out

    def weights(product):
        return _overlap_add(np.broadcast_to(product, (frames, len(product))), hop)

    u = adjoint(b)
    diagonal = weights(w * w)
    covered = diagonal > 1e-14 * (np.max(diagonal) if len(diagonal) else 0.0)
    if fixed is not None:
        covered &= ~fixed
    if L <= bins:
        # Painless: frames do not fold, M is diagonal.
        y = np.zeros_like(u)
        y[covered] = u[covered] / diagonal[covered]
        return y, np.zeros(len(y), bool)
    bands = [np.where(covered, diagonal, 0.0)] + [weights(w[:L - d * bins] * w[d * bins:])
                                                   for d in range(1, -(-L // bins))]
    solve, determined = _banded_solver(bands, covered, bins)
    # Rounding can leave a pivot that should be zero just above the
    # solver's test, and the samples it stands for then come out as noise.
    # The solve of a random probe shows them: their response exceeds 1e13
    # times the probe's scale over the operator's, a condition that the
    # refinement below could not recover from. In a nearly singular system
    # the solves can overflow there and carry the overflow on to other
    # samples, which then count as undetermined too (numpy's warnings are
    # not shown); without undetermined samples a NaN comes from the frames
    # and goes through, as check_finite=False asks.
    with np.errstate(over="ignore", invalid="ignore"):
        if covered.any():
            probe = np.random.default_rng(0).standard_normal(len(u)) * covered
            response = np.abs(solve(probe)) * np.median(diagonal[covered]) / np.sqrt(np.mean(probe[covered] ** 2))
            determined &= response < 1e13
        y = solve(u)
        # The normal equations square the condition of the folded frames;
        # two steps of refinement on the frames' residual bring the error
        # back to that of the frames themselves.
        for _ in range(2):
            y = y + solve(adjoint(b - _fold(y, w, hop, bins, shift, frames)))
    undetermined = covered & ~determined
    if undetermined.any():
        undetermined |= covered & ~np.isfinite(y)
    return y, undetermined


def _rolled_rows(rows, hop, bins, shift):
    """Row i of ``rows`` (frames, bins) rolled towards higher indices by
    (i*hop + shift) mod bins, as np.roll would. The roll repeats every
    bins / gcd(hop, bins) rows: two slice copies for each such residue."""
    frames = len(rows)
    out = np.empty_like(rows)
    period = bins // math.gcd(hop, bins)
    for i0 in range(min(period, frames)):
        every, turn = slice(i0, None, period), (i0 * hop + shift) % bins
        out[every, turn:] = rows[every, :bins - turn]
        out[every, :turn] = rows[every, bins - turn:]
    return out


def _fold(y, w, hop, bins, shift, frames):
    """Inverse FFTs of the frames of y (the forward operator of
    ``_least_squares``): each windowed frame folded onto bins points at
    its absolute phase. The window is applied and folded one stretch of
    bins samples at a time, over a view of y's frames, so that no array
    of all frames' L samples is made."""
    L = len(w)
    windows = np.lib.stride_tricks.sliding_window_view(y, L)[::hop][:frames]
    folded = np.empty((frames, bins), dtype=np.result_type(y, w))
    np.multiply(windows[:, :bins], w[:bins], out=folded)
    part = np.empty_like(folded)
    for c in range(bins, L, bins):
        n = min(bins, L - c)
        np.multiply(windows[:, c:c + n], w[c:c + n], out=part[:, :n])
        folded[:, :n] += part[:, :n]
    return _rolled_rows(folded, hop, bins, shift)


def _banded_solver(bands, covered, bins):
    """A solver of M y = u for the symmetric matrix whose only nonzero
    entries are M[t, t + d*bins] = bands[d][t] (d = 0 .. p): per residue
    modulo bins a banded system, factored as L D L^T for all residues at
    once (rows q of (Q, bins) arrays), and the samples it determines; the
    others, and those not ``covered``, come out 0. The loops over q are
    sequential, so everything that is not is done before them, on whole
    arrays: the entries coupling two covered samples, each pivot's
    threshold, and the factor's entries seen from the row above."""
    p, span = len(bands) - 1, len(bands[0])
    Q = -(-span // bins)

    def grid(values):
        padded = np.zeros(Q * bins, dtype=np.result_type(values, np.float64))
        padded[:len(values)] = values
        return padded.reshape(Q, bins)

    mask = grid(covered.astype(float)) > 0
    diagonal = grid(bands[0])
    # coupling[d][q] = M[q, q - d] between covered samples, else 0.
    coupling = np.zeros((p + 1, Q, bins))
    for d in range(1, p + 1):  # p < Q: the span reaches past the window
        coupling[d][d:] = grid(bands[d])[:-d] * (mask[d:] & mask[:-d])
    # A pivot far below its diagonal entry means the frames do not
    # determine that sample (hop > bins leaves fewer values than
    # samples): it is left out rather than amplified. A sample not
    # covered has no entries at all, so its pivot is 0 and fails too.
    threshold = 1e-12 * diagonal
    lower = np.zeros((p + 1, Q, bins))
    pivot = np.zeros((Q, bins))
    inverse = np.zeros((Q, bins))

    def dot(a, b):  # sum over the rows of a * b, a lone row as itself
        return a[0] * b[0] if len(a) == 1 else (a * b).sum(axis=0)

    # Row q of the factor, entries d = m .. 1 (m = min(p, q)): each takes
    # the sum over e = d+1 .. m of lower[e][q] pivot[q-e] lower[e-d][q-d]
    # as one product of slices, row e of the first at row e-d of the last.
    for q in range(Q):
        m = min(p, q)
        for d in range(m, 0, -1):
            k = q - d
            v = coupling[d][q]
            if d < m:
                v = v - dot(lower[d + 1:m + 1, q] * pivot[q - m:k][::-1], lower[1:m - d + 1, k])
            np.multiply(v, inverse[k], out=lower[d][q])
        value = diagonal[q] - dot(lower[1:m + 1, q] ** 2, pivot[q - m:q][::-1]) if m else diagonal[q]
        good = value > threshold[q]
        np.copyto(pivot[q], value, where=good)
        np.divide(1.0, value, out=inverse[q], where=good)
    # upper[d][q] = lower[d][q + d]: row q's entries in the back substitution.
    upper = np.zeros_like(lower)
    for d in range(1, p + 1):
        upper[d][:Q - d] = lower[d][d:]

    def solve(u):
        z = grid(np.where(covered, u, 0))
        for q in range(1, Q):
            m = min(p, q)
            z[q] -= dot(lower[1:m + 1, q], z[q - m:q][::-1])
        z *= inverse
        for q in range(Q - 2, -1, -1):
            m = min(p, Q - 1 - q)
            z[q] -= dot(upper[1:m + 1, q], z[q + 1:q + 1 + m])
        return z.reshape(-1)[:span]

    return solve, (inverse != 0).reshape(-1)[:span]


_SPECTROGRAM_SCALINGS = (None, "library", "density", "spectrum")


def spectrogram(x, fs=1.0, *, window="hann", nperseg=None, hop=None, bins=None, start=0, scaling=None,
                boundary=None, check_finite=True, workers=None):
    """Spectrogram of the STFT (see ``stft`` for the frames, the window and
    the defaults: ``spectrogram(x, fs)`` uses a periodic Hann of 256
    samples, hop 64 and 256 bins).

    ``scaling=None`` (or "library", the library's own): ``|X[i, k]|**2 /
    bins``; a real signal gives (frames, bins//2): bins 0 .. bins/2 - 1,
    without the Nyquist bin (one bin, the zero-frequency one, for
    ``bins=1``); a complex signal gives (frames, bins) in FFT order.
    ``scaling="density"`` (power spectral density, per Hz) and "spectrum"
    (power spectrum) are scipy.signal.spectrogram's: ``|X|**2 / (fs *
    sum(w**2))`` and ``|X|**2 / sum(w)**2``; for a real signal the one-sided
    bins 0 .. bins/2 (Nyquist included) with every bin but 0 and the
    Nyquist bin doubled, for a complex one all bins in FFT order.

    Against scipy.signal.spectrogram (``f, t, Sxx``): ``Sxx`` is bins x
    frames, so ``Sxx == S.T`` (``f == S.freqs``, ``t == S.times``) for the
    same window, ``noverlap = L - hop``, ``nfft = bins``, ``detrend=False``
    and scaling "density" or "spectrum": scipy's frames are the library's
    (full frames, centres at ``(i*hop + L/2) / fs``). scipy's defaults
    differ: a ('tukey', 0.25) window, ``noverlap = nperseg // 8`` and
    ``detrend='constant'`` (each frame's mean removed); a complex signal's
    Nyquist frequency is -fs/2 in scipy's ``f`` and +fs/2 here.
    ``.times`` and ``.freqs`` as for ``stft`` (``start`` moves the times
    only); ``boundary`` as for ``stft``.
    """
    x, fs = signal(x, check_finite=check_finite), sample_rate(fs)
    w = _window_samples(window, nperseg, check_finite)
    hop, bins = _stft_grid(w, hop, bins)
    start = operator.index(start)
    if scaling is None or scaling == "library":
        return power_map(x, w, hop, bins, fs, workers, ("ReSTFTsp", "CxSTFTsp"), kind="stft", centre=len(w) / 2,
                         shortest=len(w) + 1, start=start, boundary=boundary,
                         layout="spectrogram: |X|^2/bins, bins 0..%d in FFT order")
    if scaling not in _SPECTROGRAM_SCALINGS:
        raise ValueError("scaling=%r is not one of None ('library'), 'density' or 'spectrum'" % (scaling,))
    real = x.dtype.kind == "f"
    X = stft(x, fs, window=w, hop=hop, bins=bins, start=start, onesided=real, boundary=boundary,
             check_finite=False, workers=workers)
    scale = 1.0 / (fs * np.sum(w * w)) if scaling == "density" else 1.0 / np.sum(w) ** 2
    power = np.abs(np.asarray(X)) ** 2 * scale
    if real and bins > 1:
        # scipy doubles the one-sided bins that stand for two: all but bin
        # 0 and, for an even bin count, the Nyquist bin.
        power[..., 1:(None if bins % 2 else -1)] *= 2
    kept = power.shape[-1]
    return TFArray(power, X.times, X.freqs, fs,
                   "spectrogram (%s scaling as scipy.signal): bins 0..%d%s"
                   % (scaling, kept - 1, ", one-sided bins doubled" if real else " in FFT order"))


def power_map(x, w, hop, bins, fs, workers, exports, *, kind, centre, shortest, layout, start=0, boundary=None):
    """The spectrogram-shaped maps (frames x bins//2 for a real signal,
    frames x bins for a complex one or for one bin) of the two ``exports``,
    real first, of a signal ``x`` and window samples ``w`` already checked:
    frames ``(n - L) // hop + 1`` for n >= shortest, times ``(start + i*hop +
    centre) / fs``; with ``boundary`` those of the extended signal whose
    centres lie within x. ``layout`` is formatted with the last bin."""
    if boundary is not None:
        _refuse_empty(x, boundary)
        before, after, count = _frames_within(x.shape[-1], len(w), hop, centre, shortest)
        y = _extended(x, boundary, before, after)
        whole = power_map(y, w, hop, bins, fs, workers, exports, kind=kind, centre=centre, shortest=shortest,
                          layout=layout, start=start - before)
        return whole[..., :count, :]
    spec = window_spec(w, hop, bins)
    real = x.dtype.kind == "f" and bins != 1
    kept = bins // 2 if real else max(bins, 0)

    def one(channel):
        n = len(channel)
        frames = _frame_count(n, len(w), hop, bins, shortest)
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
    return TFArray(values, axes.times(values.shape[-2], hop, fs, offset=start + centre),
                   axes.frequencies(bins, fs, count=kept), fs, layout % (kept - 1))


# ------------------------------------------------------------------------
# Gaussian and dual windows

def gaussian(length, *, variance=None, centre=None):
    """Unit-energy Gaussian window of ``length`` samples:
    ``(pi*variance)**-0.25 * exp(-(centre - i)**2 / (2*variance))``.

    ``centre`` defaults to ``length / 2``, the sample that the Gabor
    transform places on each frame position and the STFT's frame time;
    ``variance`` (in samples squared) defaults to ``(length / 8)**2``, so
    that the window has decayed to 3e-4 of its peak at either end. A length
    below 1, and a variance that is not a positive finite number or a
    centre that is not finite (the library would give non-finite or zero
    samples), raise ArgumentError.
    """
    length = integer(length, "length")
    if length < 1:
        raise ArgumentError.refused("a Gaussian window needs a length of at least 1 sample (got %d)" % length)
    centre = length / 2.0 if centre is None else real_number(centre, "centre")
    variance = (length / 8.0) ** 2 if variance is None else real_number(variance, "variance")
    if not variance > 0:
        raise ArgumentError.refused("variance must be positive (got %r)" % variance)
    out = np.zeros(length)
    call("Gaussian", length, centre, variance, pointer(out))
    if not np.any(out != 0):
        raise ArgumentError.refused("variance=%r is so small that the window is zero at every sample" % variance)
    return out


def dual_window(window, hop, bins, *, periodic=False, check_finite=True):
    """Dual (analysis) window of the synthesis ``window`` for the Gabor
    lattice ``hop`` x ``bins``: ``dge`` with ``window`` after ``dgt`` with
    the dual reconstructs the signal. The default aperiodic dual serves
    signals of any length; ``periodic=True`` gives the dual for signals of
    exactly ``len(window)`` samples. The window length must be a multiple
    of both ``hop`` and ``bins``, and ``hop <= bins``. ``window`` is any
    window argument (see ``get_window``; a name has 256 samples). The dual
    of ``c * window`` is the dual of ``window`` over c, for any scale c.
    The periodic dual with ``hop`` dividing ``bins`` (any power-of-two
    hop) comes from Fourier transforms of the window and takes
    milliseconds even for windows of 2^20 samples; otherwise the library
    solves one system per residue of time modulo ``hop`` by a singular
    value decomposition, work that grows as the cube of the window length
    over the square of ``bins``: about 0.2 s for 16384 samples onto 256
    bins, 13 s for 65536."""
    w = _window_samples(window, None, check_finite)
    hop, bins = integer(hop, "hop"), integer(bins, "bins")
    # The library's pseudo-inverse drops singular values up to an absolute
    # 1e-10, which for a window far below unit scale drops real ones (a
    # Gaussian scaled by 1e-10 gets a zero dual, one scaled by 1e-8 a dual
    # that rebuilds signals to 1e-8). The window goes in with its peak in
    # (0.5, 1] instead (as it was, for the usual peak of 1), scaled by a
    # power of two so that nothing is rounded, and the dual comes back
    # scaled the other way.
    mantissa, exponent = np.frexp(np.max(np.abs(w)))
    exponent = int(exponent) - (mantissa == 0.5) if np.isfinite(mantissa) else 0
    scaled, dual = np.ldexp(w, -exponent), np.zeros_like(w)
    call("FastDual", pointer(scaled), len(w), hop, bins, 0 if periodic else 1, pointer(dual),
         context=dict(kind="dual", L=len(w), hop=hop, bins=bins))
    return np.ldexp(dual, -exponent)


# ------------------------------------------------------------------------
# Discrete Gabor transform and expansion

def dgt(x, fs=1.0, *, window="gaussian", nperseg=None, hop=None, bins=None, dual=True, boundary=None,
        check_finite=True, workers=None):
    """Discrete Gabor transform on the lattice ``hop`` x ``bins``.

    ``window`` is the synthesis window g, by default the library's Gaussian
    of ``nperseg`` = 256 samples (``gaussian(256)``); ``bins`` defaults to
    the window length (a power of two then) and ``hop`` to bins / 4. The
    signal is analysed with g's dual window (``dual_window``, whose cost
    for windows of many thousand samples is said there), so that
    ``dge`` with the same window, hop and bins inverts the transform;
    ``dual=False`` analyses with ``window`` itself. The signal is
    zero-padded to ``F = ceil(n / hop)`` hops and treated as periodic;
    frame k puts window sample ``L//2`` (L = len(window)) on sample
    ``k*hop`` and its phase refers to sample ``-L//2``:
    ``c[k, b] = sum_j h[j] x[k*hop - L//2 + j] exp(-2j pi b (k*hop + j) / bins)``
    with h the analysis window. Lattice rules: L a multiple of ``hop`` and
    ``bins``, ``bins`` a power of two, ``hop <= bins``, n != hop.

    Layout: a real signal gives (F, bins//2 + 1) complex, bins 0 .. bins/2
    (the other half is their conjugate); a complex signal gives (F, bins),
    FFT order. ``.times`` are ``k*hop / fs`` (frame centres), ``.freqs`` in
    Hz; as for ``stft``, scipy-style bins x frames arrays are ``c.T``.

    Being periodic, the transform mixes the end of the signal into the first
    frames and its start into the last (full-height lines at both ends of a
    picture). ``boundary`` (a rule of ``extend``) extends the signal by at
    least L/2 samples (a multiple of hop) at each end instead, transforms
    that and keeps the same F frames centred on samples 0 .. n-1, their
    phases referred as without it; ``dge`` of them is no longer the inverse
    at the ends.
    """
    x, fs = signal(x, check_finite=check_finite), sample_rate(fs)
    g = _window_samples(window, nperseg, check_finite)
    hop, bins = _gabor_grid(g, hop, bins)
    h = dual_window(g, hop, bins, check_finite=False) if dual else g
    if boundary is None:
        return _dgt(x, h, hop, bins, fs, workers)
    _refuse_empty(x, boundary)
    if not _usable(hop, bins):
        return _dgt(x, h, hop, bins, fs, workers)  # which refuses them
    L, n = len(h), x.shape[-1]
    before = -(-(L // 2) // hop) * hop
    after = -(-(L - L // 2) // hop) * hop
    c = _dgt(_extended(x, boundary, before, after), h, hop, bins, fs, workers)
    frames = -(-n // hop)
    first = before // hop
    # Phases refer to sample -L//2 of the extended signal; moved back by
    # the samples added in front.
    turn = np.exp(2j * np.pi * (np.arange(c.shape[-1]) * (before % bins) % bins) / bins)
    values = np.asarray(c)[..., first:first + frames, :] * turn
    return TFArray(values, axes.times(frames, hop, fs), c.freqs, fs, c.layout)


def _dgt(x, h, hop, bins, fs, workers):
    spec = window_spec(h, hop, bins)
    real = x.dtype.kind == "f"

    def one(channel):
        n = len(channel)
        frames = -(-n // hop) if _usable(hop, bins) and n >= 1 else 0
        context = dict(kind="dgt", n=n, L=len(h), hop=hop, bins=bins)
        if real and frames and _folds(n, len(h), hop, bins):
            return _real_dgt_blocks(channel, spec, len(h), hop, bins, frames, context)
        if real and frames:
            # The Hc rows are written into the tail of the complex result
            # and unpacked in place, front to back: no second array of the
            # result's size.
            half = bins // 2 + 1
            out = np.empty((frames, half), dtype=np.complex128)
            flat = out.reshape(-1).view(np.float64)
            hc = flat[frames * (2 * half - bins):].reshape(frames, bins)
            call("ReDGT", pointer(channel), n, spec, pointer(hc), context=context)
            _unpack_in_place(hc, out)
            return out
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


def _folds(n, L, hop, bins):
    """Whether the library accepts a real Gabor transform of n samples and
    computes it by folding each frame (L <= 2*bins: the factorisation
    starts above that)."""
    return (power_of_two(bins) and 1 <= hop <= bins and L % hop == 0 and L % bins == 0 and bins <= L <= 2 * bins
            and n != hop and n + L <= 2**31 - 1)


def _real_dgt_blocks(channel, spec, L, hop, bins, frames, context):
    """The one-sided frames of a real channel's Gabor transform (arguments
    that ``_folds`` accepts) as STFT frames: frame k is the STFT frame of
    the period's samples k*hop - L//2 .. k*hop - L//2 + L - 1 with the
    phase shift k*hop. The frames whose samples all lie in the channel are
    made from it block by block in a cache-sized buffer, as ``stft`` makes
    its frames, and unpacked from there; the few at each end, which wrap
    around the period, from a copy of their samples. Each call gets one
    sample past its last window, which the STFT needs."""
    n, period, half = len(channel), frames * hop, L // 2
    out = np.empty((frames, bins // 2 + 1), dtype=np.complex128)
    first = min(-(-half // hop), frames)
    last = max(first, min(frames, (n - 1 - L + half) // hop + 1))
    for k0, k1 in ((0, first), (first, last), (last, frames)):
        if k1 > k0:
            begin, stop = k0 * hop - half, (k1 - 1) * hop - half + L + 1
            if k0 == first and k1 == last:
                samples = channel[begin:stop]
            else:
                t = np.arange(begin, stop) % period
                samples = np.where(t < n, channel[np.minimum(t, n - 1)], 0.0)
            _real_stft_blocks(samples, spec, L, hop, bins, k1 - k0, k0 * hop, True, context, out=out[k0:k1])
    return out


def _unpack_in_place(hc, out):
    """One-sided complex frames into ``out`` from the Hc rows ``hc`` that
    lie in the tail of its own memory. Row k of out ends at or before the
    start of Hc row k+1, so going block by block from the front, with each
    block's Hc rows copied aside first, overwrites only rows already read."""
    frames, bins = hc.shape
    block = max(1, _BLOCK_DOUBLES // bins)
    aside = np.empty((min(block, frames), bins))
    for k0 in range(0, frames, block):
        k1 = min(k0 + block, frames)
        np.copyto(aside[:k1 - k0], hc[k0:k1])
        hc_to_complex(aside[:k1 - k0], True, out=out[k0:k1])


def dge(coefficients, *, window="gaussian", nperseg=None, hop=None, bins=None, length=None, real=None,
        check_finite=True, workers=None):
    """Discrete Gabor expansion: the signal from Gabor coefficients, with
    ``window`` as the synthesis window (the inverse of ``dgt`` called with
    the same window, nperseg, hop and bins, whose defaults are ``dgt``'s).

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
    g = _window_samples(window, nperseg, check_finite)
    hop, bins = _gabor_grid(g, hop, bins)
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
    c = c.astype(np.complex128, copy=False) if real else np.ascontiguousarray(c, dtype=np.complex128)
    # A non-finite coefficient spreads to every sample its frame covers (no
    # product with a window value clears it), so when all frames land in
    # the result (length >= the period) the result, hop samples per frame,
    # is checked instead of the coefficients, about bins values per frame;
    # only a non-finite result makes the coefficients be searched for the
    # culprit. (A real frame's single sample, L = 1, may not depend on
    # every coefficient of its frame: such windows are checked up front.)
    lands = length >= frames * max(hop, 0) and len(g) >= 2
    if check_finite and not lands:
        require_finite(c, "coefficients")

    def one(block):
        if real:
            return _real_dge(block, c, spec, len(g), hop, bins, length, check_finite and lands, context)
        out = np.empty(max(length, 0), dtype=np.complex128)
        call("CxDGE", pointer(block), frames, bins, spec, pointer(out), length, context=context)
        if check_finite and lands:
            require_finite_through(out, c, "coefficients")
        return out

    if c.ndim == 2:
        return one(c)
    return per_channel(one, c, workers)


def _real_dge(block, whole, spec, L, hop, bins, length, check_result, context):
    """ReDGE of one channel's one-sided coefficients ``block`` (a part of
    ``whole``, which a finiteness refusal names), packed into Hc rows a
    cache-sized block of frames at a time. With ``check_result`` (all
    frames land in the result) the result is checked, as ``dge`` does,
    together with the imaginary parts of bins 0 and bins/2 that the packing
    drops.

    Short windows on a long period are expanded block by block as well, by
    ReDGEWithIC into the result: its stream is the period shifted by L/2
    (it puts g[0], not g[L/2], on sample k*hop) and not wrapped, so each
    block's samples land L/2 earlier in the result, the first block's first
    L/2 at the period's end, and the L - hop samples left in its state wrap
    onto both ends. That needs blocks starting on multiples of bins (equal
    phases), a power-of-two hop, one wrap (L <= period) and a window the
    library folds rather than factorises (L <= 2*bins). Otherwise the Hc
    rows of all frames are made first and passed to ReDGE."""
    frames = block.shape[0]
    period = frames * hop
    step = max(1, _BLOCK_DOUBLES // max(bins, 1))

    def packed(k0, rows):
        return complex_to_hc(block[k0:k0 + len(rows)], max(bins, 1), out=rows)

    def checked(out):
        if check_result:
            require_finite_through(out, whole, "coefficients", block[:, :1].imag, block[:, -1:].imag)
        return out

    streamed = (power_of_two(bins) and 1 <= hop <= bins and power_of_two(hop) and step >= bins // hop
                and L % bins == 0 and L <= min(2 * bins, period) and length >= period and frames >= 2 * step)
    out = np.empty(max(length, 0))
    if not streamed:
        hc = np.empty((frames, max(bins, 1)))
        for k0 in range(0, frames, step):
            packed(k0, hc[k0:k0 + step])
        call("ReDGE", pointer(hc), frames, bins, spec, pointer(out), length, context=context)
        return checked(out)
    step -= step % (bins // hop)  # every block starts on a multiple of bins
    rows = np.empty((step, bins))
    half, left = L // 2, L - hop
    head = np.empty(step * hop)  # the first block's samples, L/2 of which wrap
    state = np.empty(max(left, 1))
    held = ctypes.c_int32(0)
    rows_p, state_p, held_p = pointer(rows), pointer(state), ctypes.byref(held)
    for k0 in range(0, frames, step):
        count = len(packed(k0, rows[:min(step, frames - k0)]))
        target = pointer(head) if k0 == 0 else raw.pointer(out, k0 * hop - half)
        call("ReDGEWithIC", rows_p, count, bins, spec, target, state_p, held_p, context=context)
    out[:step * hop - half] = head[half:]
    out[period - half:period] = head[:half]
    out[period - half:period - half + min(left, half)] += state[:min(left, half)]
    out[:max(left - half, 0)] += state[half:left]
    out[period:] = 0.0
    return checked(out)


# ------------------------------------------------------------------------
# Signal extension

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


def extend(x, m, mode="symmetric", *, check_finite=True):
    """x with ``m`` samples added on each side by an extension rule:
    ``"zero"``, ``"symmetric"`` (mirrored about the end sample, which is
    repeated), ``"periodic"``, ``"tapered-symmetric"`` (the mirror weighted
    by a Hann taper), ``"linear"`` (the line through the two end samples) or
    ``"quadratic"`` (the parabola through the three end samples); an
    ``ExtensionMode`` value or its int is accepted too. Returns
    ``len(x) + 2*m`` samples; real or complex as x; 1-D only."""
    x = signal(x, check_finite=check_finite)
    if x.ndim != 1:
        raise ValueError("extend takes a 1-D signal")
    m = integer(m, "m")
    code, rule = extension_rule(mode)
    return _extend(x, m, code, rule)


def _extend(x, m, code, rule=None):
    if rule is None:
        rule = next((name for name, value in _RULES.items() if value == code), None)
    left = np.empty(max(m, 0), dtype=x.dtype)
    right = np.empty(max(m, 0), dtype=x.dtype)
    name = "ReExtension" if x.dtype.kind == "f" else "CxExtension"
    call(name, pointer(x), len(x), code, m, pointer(left), pointer(right),
         context=dict(kind="extension", n=len(x), m=m, mode=rule))
    return np.concatenate([left, x, right])
