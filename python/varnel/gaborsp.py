"""numpy layer of the Gabor spectrogram and its mean instantaneous
frequency.

The Gabor spectrogram expands a signal on a lattice of Gaussian atoms
(``hop`` samples by ``bins`` frequency bins) and sums, for the pairs of
atoms at lattice distance ``low_order`` .. ``order`` apart, the product of
their coefficients with the closed-form cross Wigner-Ville distribution of
the two atoms. Order 0 is a smooth, non-negative energy map; each further
order adds the interference of neighbouring atoms, which sharpens chirps
and bursts towards the Wigner-Ville distribution while the interference
between distant components (far apart on the lattice) stays out.

    S = varnel.gabor_spectrogram(x, hop=32, bins=256, order=3, fs=8000)
    f = varnel.mean_instantaneous_frequency(x, hop=32, bins=256, fs=8000)

Keywords shared with the rest of the package: ``hop``, ``bins``, ``fs``,
``workers``. Refinement: ``refine_time`` output instants per hop and
``refine_freq`` output bins per lattice bin (the map is evaluated in closed
form in between, not interpolated).

Signals, coefficients and maps holding NaN or infinities raise
ArgumentError naming the first non-finite value unless
``check_finite=False``.
"""
import math

import numpy as np

from . import axes, linear
from ._arrays import call, integer, per_channel, pointer, require_finite, sample_rate, signal
from .errors import power_of_two
from .result import FrequencyTrack
from .linear import dgt, gaussian
from .result import TFArray

# Half-length of the default window in standard deviations of the Gaussian:
# the tails cut off there are below 1e-9 of the peak, far under what the
# spectrogram can show.
WINDOW_SPREAD = 6.5


def balanced_variance(hop, bins):
    """The Gaussian variance (samples squared) whose time and frequency
    spreads are in the same proportion as the lattice steps: ``hop * bins /
    (2 pi)``, the default of the Gabor spectrogram."""
    return hop * bins / (2.0 * math.pi)


def _lattice(hop, bins, variance):
    hop, bins = integer(hop, "hop"), integer(bins, "bins")
    # CxGaborSp accepts any positive variance and a power-of-two hop; the
    # lattice rules of the Gabor transform (hop <= bins) come on top, and
    # both are said here in the package's words rather than as a status.
    if not power_of_two(bins):
        raise ValueError("bins=%d is not a power of two" % bins)
    if not power_of_two(hop):
        raise ValueError("the Gabor spectrogram needs hop to be a power of two (got %d)" % hop)
    if hop > bins:
        raise ValueError("hop=%d exceeds bins=%d; the Gabor lattice needs hop <= bins" % (hop, bins))
    a = balanced_variance(hop, bins) if variance is None else float(variance)
    if not a > 0 or not math.isfinite(a):
        raise ValueError("variance must be a positive number of samples squared (got %r)" % variance)
    return hop, bins, a


def _refinement(value, name):
    value = integer(value, name)
    if value < 1:
        raise ValueError("%s must be at least 1 (got %d)" % (name, value))
    return value


def gabor_window(hop, bins, variance=None, length=None):
    """The synthesis window of the Gabor spectrogram: the library's unit-energy
    Gaussian of the given variance (default ``balanced_variance``), centred on
    sample ``length // 2``, which the Gabor transform places on each lattice
    time. ``length`` defaults to the shortest multiple of ``bins`` spanning
    +-6.5 standard deviations."""
    hop, bins, a = _lattice(hop, bins, variance)
    if length is None:
        length = bins * max(1, math.ceil(2 * WINDOW_SPREAD * math.sqrt(a) / bins))
    length = integer(length, "window_length")
    if length < 1 or length % bins:
        raise ValueError("window_length=%d is not a positive multiple of bins=%d" % (length, bins))
    return gaussian(length, variance=a, centre=float(length // 2))


def gabor_coefficients(x, *, hop, bins, variance=None, window_length=None, fs=1.0, check_finite=True, workers=None):
    """Coefficients C[m, n] of x on the lattice of Gaussian atoms
    ``g(t - m*hop) exp(2j pi n t / bins)`` (t the absolute sample time, g the
    window of ``gabor_window``), such that x is their sum: the Gabor
    transform with the dual window, all ``bins`` bins of it (a real x is
    analysed as complex), with each coefficient's phase referred to sample 0
    rather than to the start of the analysis buffer. Complex TFArray
    (ceil(n / hop), bins), FFT order; this is the input ``gabor_sp`` and
    ``mean_instantaneous_frequency`` expect."""
    hop, bins, _ = _lattice(hop, bins, variance)
    g = gabor_window(hop, bins, variance, window_length)
    x, fs = signal(x, check_finite=check_finite), sample_rate(fs)
    c = dgt(x.astype(np.complex128), fs, window=g, hop=hop, bins=bins, check_finite=False, workers=workers)
    # The transform refers phases to sample -L//2 (the start of its
    # periodically extended buffer); the cross terms of the spectrogram are
    # modulated by the atoms' absolute times, so the phases are moved to
    # sample 0 here.
    values = np.asarray(c)  # made by this call: turned in place
    values *= np.exp(2j * np.pi * np.arange(bins) * (len(g) // 2 % bins) / bins)
    return TFArray(values, c.times, c.freqs, fs,
                   "gabor coefficients: bins 0..%d in FFT order, phase referred to sample 0" % (bins - 1))


def _band(band, total, real):
    if band is None:
        return 0, (total // 2 if real and total > 1 else total)
    try:
        first, count = (integer(v, "band") for v in band)
    except (TypeError, ValueError):
        raise ValueError("band must be (first fine bin, number of bins), not %r" % (band,)) from None
    if not (0 <= first < total and 1 <= count <= total - first):
        raise ValueError("band=(%d, %d) does not lie within the %d fine bins (bins * refine_freq)"
                         % (first, count, total))
    return first, count


def _order_band(order, low_order):
    order = integer(order, "order")
    low_order = integer(low_order, "low_order")
    if order < 0:
        raise ValueError("order must not be negative (got %d)" % order)
    return order, low_order


def gabor_sp(coefficients, *, hop, variance=None, order=2, low_order=0, refine_time=1, refine_freq=1,
             band=None, fs=1.0, real=False, check_finite=True, workers=None):
    """Gabor spectrogram of given lattice coefficients (frames x bins, FFT
    order, phases referred to sample 0 as ``gabor_coefficients`` returns
    them; 3-D for several channels). Sums the atom pairs whose lattice
    distance |dm| + |dn| lies in ``low_order`` .. ``order`` (order is
    limited to min(frames, bins) - 1; a ``low_order`` above it keeps that
    single order). ``variance`` is the Gaussian's (default
    ``balanced_variance(hop, bins)``).

    Output: TFArray (frames * refine_time, nF); fine instant t at
    ``t * hop / refine_time / fs`` s, fine bin k at ``k * fs / (bins *
    refine_freq)`` Hz. ``band=(first, count)`` selects fine bins; by default
    all of them in FFT order, or the positive half (0 .. fs/2) with
    ``real=True``. The time axis is circular with a margin of about six
    standard deviations, so the ends of the signal do not meet."""
    c = np.asarray(coefficients)
    if c.ndim not in (2, 3):
        raise ValueError("coefficients must be 2-D (frames x bins) or 3-D (channels x frames x bins), "
                         "not of shape %s" % (c.shape,))
    if check_finite:
        require_finite(c, "coefficients")
    c = np.ascontiguousarray(c, dtype=np.complex128)
    bins = c.shape[-1]
    hop, bins, a = _lattice(hop, bins, variance)
    order, low_order = _order_band(order, low_order)
    k2 = _refinement(refine_time, "refine_time")
    k1 = _refinement(refine_freq, "refine_freq")
    first, count = _band(band, bins * k1, real)
    frames = c.shape[-2]

    def one(block):
        out = np.empty((frames * k2, count))
        call("CxGaborSp", pointer(block), frames, bins, hop, a, low_order, order, k2, k1, first, count,
             pointer(out), context=dict(kind="gabor-sp", n=frames, hop=hop, bins=bins))
        return out

    values = one(c) if c.ndim == 2 else per_channel(one, c, workers)
    times = axes.times(frames * k2, hop / k2, fs)
    freqs = axes.frequencies(bins * k1, fs, first=first, count=count)
    return TFArray(values, times, freqs, fs,
                   "gabor-sp: fine bins %d..%d of %d, order %d..%d, instant t at t*hop/%d"
                   % (first, first + count - 1, bins * k1, max(low_order, 0), order, k2))


def gabor_spectrogram(x, *, hop, bins, order=2, low_order=0, variance=None, refine_time=1, refine_freq=1,
                      band=None, window_length=None, fs=1.0, boundary=None, check_finite=True, workers=None):
    """Gabor spectrogram of x of orders ``low_order`` .. ``order``.

    x is expanded on the lattice ``hop`` x ``bins`` (both powers of two,
    hop <= bins) of Gaussian atoms of variance ``variance`` samples squared
    (default ``hop * bins / (2 pi)``, equal spreads in lattice units); see
    ``gabor_coefficients`` and ``gabor_sp``. There are ceil(n / hop) lattice
    times (the signal is zero-padded to whole hops and treated as periodic by
    the expansion). A real x gives the positive fine bins 0 .. fs/2 only (pass
    ``band`` for others), a complex one all bins in FFT order.

    Returns a real TFArray (ceil(n/hop) * refine_time, nF), ``.times`` in s,
    ``.freqs`` in Hz; (channels, ...) for 2-D x. Order 0 is non-negative;
    higher orders dip below zero where interference cancels.
    ``window_length`` (a multiple of bins) overrides the window's length.

    The expansion treats the signal as periodic, so the end of a chirp
    shows again at t = 0 (and its start at the end). ``boundary`` (a rule of
    ``extend``: "zero", "symmetric", ...) extends the signal at both ends by
    at least half the window (a multiple of hop) by that rule instead,
    takes the spectrogram of that and keeps the same ceil(n/hop) *
    refine_time instants, from sample 0, ``.times`` in the signal's time.
    """
    x = signal(x, check_finite=check_finite)
    hop, bins, a = _lattice(hop, bins, variance)
    options = dict(hop=hop, bins=bins, order=order, low_order=low_order, variance=a, refine_time=refine_time,
                   refine_freq=refine_freq, band=band, window_length=window_length, fs=fs, check_finite=False,
                   workers=workers)
    if boundary is not None:
        linear._refuse_empty(x, boundary)
        k2 = _refinement(refine_time, "refine_time")
        half = len(gabor_window(hop, bins, a, window_length)) // 2 + 1
        before = -(-half // hop) * hop
        whole = gabor_spectrogram(linear._extended(x, boundary, before, before), **options)
        instants = -(-x.shape[-1] // hop) * k2
        first = before // hop * k2
        return TFArray(np.asarray(whole)[..., first:first + instants, :], axes.times(instants, hop / k2, fs),
                       whole.freqs, fs, whole.layout)
    c = gabor_coefficients(x, hop=hop, bins=bins, variance=a, window_length=window_length, fs=fs,
                           check_finite=False, workers=workers)
    return gabor_sp(c, hop=hop, variance=a, order=order, low_order=low_order, refine_time=refine_time,
                    refine_freq=refine_freq, band=band, fs=fs, real=x.dtype.kind != "c", check_finite=False,
                    workers=workers)


def mean_instantaneous_frequency(x, *, hop, bins, order=2, variance=None, refine_time=1, window_length=None,
                                 fs=1.0, check_finite=True, workers=None):
    """Mean instantaneous frequency of x in Hz: at each fine instant, the
    first frequency moment of its Gabor spectrogram of orders 0 .. ``order``
    over its energy, the frequency integrals done in closed form (no map is
    formed). Only positive frequencies count (atom pairs whose midpoint lies
    strictly between 0 and fs/2; the zero-frequency atoms add energy at half
    weight), so a real signal and its analytic signal give the same track.

    Lattice and keywords as for ``gabor_spectrogram``. Returns a
    ``FrequencyTrack`` of (ceil(n / hop) - 1) * refine_time values (the
    last hop is not covered), ``.times`` = ``t * hop / refine_time / fs``;
    NaN or inf where the signal has no energy."""
    x = signal(x, check_finite=check_finite)
    hop, bins, a = _lattice(hop, bins, variance)
    order, _ = _order_band(order, 0)
    k2 = _refinement(refine_time, "refine_time")
    c = np.ascontiguousarray(gabor_coefficients(x, hop=hop, bins=bins, variance=a, window_length=window_length,
                                                check_finite=False, workers=workers))
    frames = c.shape[-2]
    count = max(frames - 1, 0) * k2

    def one(block):
        out = np.empty(count)
        call("MIFOfGaborSp", pointer(block), frames, bins, hop, a, order, k2, pointer(out),
             context=dict(kind="gabor-sp", n=frames, hop=hop, bins=bins))
        return out * (fs / (2.0 * math.pi))

    values = one(c) if c.ndim == 2 else per_channel(one, c, workers)
    return FrequencyTrack(values, axes.times(count, hop / k2, fs), fs)
