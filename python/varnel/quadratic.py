"""numpy layer of the quadratic distributions: Wigner-Ville and the Cohen
class (a caller's kernel, Choi-Williams, cone-shaped).

Keywords as in the linear transforms: ``bins`` (frequency bins, a power of
two), ``hop`` (samples between time slices), ``fs`` (Hz, for the axes),
``workers`` (threads for multi-channel input). Slice j is centred on
sample ``j*hop``; there are ``n // hop`` slices. A complex signal gives
(slices, bins) in FFT order (bin k is ``k*fs/bins`` Hz, the upper half
negative); a real one gives (slices, bins//2) covering 0 .. fs/2, analysed
through its analytic signal by default (no interference between positive
and negative frequencies; a cosine of amplitude A counts as A/sqrt(2)) or,
with ``analytic=False``, resampled at twice the rate instead.

A NaN or infinity in the signal (or in ``cohen``'s kernel) raises
ArgumentError naming the first, unless ``check_finite=False``, with which
it spreads through the analytic signal and the lag products of the library.
"""
import numpy as np

from . import axes
from ._arrays import call, integer, per_channel, pointer, real_number, require_finite, sample_rate, signal
from .errors import ArgumentError, next_power_of_two, power_of_two
from .result import TFArray


def _parts(channel):
    if channel.dtype.kind == "c":
        return np.ascontiguousarray(channel.real), np.ascontiguousarray(channel.imag)
    return channel, None


def _distribution(x, bins, hop, fs, workers, compute, layout, check_finite):
    x, fs = signal(x, check_finite=check_finite), sample_rate(fs)
    bins, hop = integer(bins, "bins"), integer(hop, "hop")
    complex_signal = x.dtype.kind == "c"
    kept = max(bins, 0) if complex_signal else max(bins, 0) // 2
    usable = power_of_two(bins) and hop >= 1

    def one(channel):
        n = len(channel)
        slices = n // hop if usable else 0
        out = np.empty((slices, kept))
        re, im = _parts(channel)
        compute(re, im, n, out, dict(kind="quadratic", n=n, hop=hop, bins=bins))
        return out

    values = per_channel(one, x, workers)
    return TFArray(values, axes.times(values.shape[-2], hop, fs), axes.frequencies(bins, fs, count=kept),
                   fs, layout)


def wvd(x, *, bins, hop=1, fs=1.0, analytic=True, check_finite=True, workers=None):
    """Wigner-Ville distribution: ``W[j, k] = (1/M) sum_tau r_j[tau]
    exp(-2j pi k tau / M)`` with ``r_j[tau] = z[p + tau] conj(z[p - tau])``
    at slice j's position p of the analysed sequence z (M = bins lags on the
    half-sample grid, bins/2 in analytic mode). Real values; see the module
    for shapes and modes."""
    flag = 1 if analytic else 0
    return _distribution(x, bins, hop, fs, workers,
                         lambda re, im, n, out, ctx: call("WVD", pointer(re), pointer(im), n, ctx["bins"],
                                                          ctx["hop"], flag, pointer(out), context=ctx),
                         "wvd: slices x bins, FFT order, slice j at sample j*hop", check_finite)


def cohen(x, kernel, *, bins, hop=1, fs=1.0, analytic=True, check_finite=True, workers=None):
    """Cohen-class distribution with a caller's ``kernel``: rows of Doppler
    values (row r = lag r, column c = Doppler bin c - width/2 of a
    width-point DFT at the input rate), at least ``bins`` rows (bins/2 for
    a real signal in analytic mode). The width must be the next power of
    two above ``(n // hop) * hop`` and ``hop`` a power of two. A kernel of
    ones gives the Wigner-Ville distribution."""
    k = np.ascontiguousarray(kernel, dtype=np.float64)
    if k.ndim != 2:
        raise ValueError("kernel must be 2-D (lag rows x Doppler columns), not of shape %s" % (k.shape,))
    if check_finite:
        require_finite(k, "kernel")
    flag = 1 if analytic else 0
    bins = integer(bins, "bins")
    rows = bins // 2 if (analytic and np.asarray(x).dtype.kind != "c") else bins
    if k.shape[0] < rows:
        raise ValueError("kernel has %d rows; bins=%d needs at least %d" % (k.shape[0], bins, rows))

    def compute(re, im, n, out, ctx):
        ctx = dict(ctx, width=k.shape[1])
        call("Cohen", pointer(re), pointer(im), n, pointer(k), ctx["bins"], k.shape[1], ctx["hop"], flag,
             pointer(out), context=ctx)

    return _distribution(x, bins, hop, fs, workers, compute,
                         "cohen: slices x bins, FFT order, slice j at sample j*hop", check_finite)


def _kernel_parameter(value, name, zero):
    """The Choi-Williams sigma or the cone's alpha: a finite number, not
    negative (the library would take a negative one as 0 without a word)."""
    value = real_number(value, name)
    if value < 0:
        raise ArgumentError.refused("%s must not be negative (got %r); %s=0 gives %s"
                                    % (name, value, name, zero))
    return value


def _preset(name, parameter):
    def compute(analytic):
        flag = 1 if analytic else 0

        def run(re, im, n, out, ctx):
            call(name, pointer(re), pointer(im), n, ctx["bins"], ctx["hop"], float(parameter), flag,
                 pointer(out), context=dict(ctx, width=next_power_of_two(n)))
        return run
    return compute


def cwd(x, *, bins, hop=1, sigma=3e-6, fs=1.0, analytic=True, check_finite=True, workers=None):
    """Choi-Williams distribution: the Cohen class with the kernel
    ``exp(-sigma * r**2 * d**2)`` (r the lag row, d the Doppler bin of an
    ``nextpow2(n)``-point DFT); sigma = 0 gives the Wigner-Ville
    distribution, larger values suppress more of its interference terms
    (and smear the components more); the default suits a few thousand
    samples analysed with a few hundred bins.
    ``hop`` must be a power of two, and ``(n // hop) * hop`` above half of
    ``nextpow2(n)``. The kernel table takes ``8 * bins * nextpow2(n)``
    bytes. A negative or non-finite sigma raises ArgumentError."""
    sigma = _kernel_parameter(sigma, "sigma", "the Wigner-Ville distribution")
    return _distribution(x, bins, hop, fs, workers, _preset("CWD", sigma)(analytic),
                         "cwd: slices x bins, FFT order, slice j at sample j*hop", check_finite)


def csd(x, *, bins, hop=1, alpha=0.0, fs=1.0, analytic=True, check_finite=True, workers=None):
    """Cone-shaped distribution: the Cohen class with the kernel
    ``exp(-alpha * r**2) * sinc`` of a time average growing with the lag r;
    alpha = 0 is the pure cone; a negative or non-finite alpha raises
    ArgumentError. Requirements and memory as for ``cwd``."""
    alpha = _kernel_parameter(alpha, "alpha", "the pure cone")
    return _distribution(x, bins, hop, fs, workers, _preset("CSD", alpha)(analytic),
                         "csd: slices x bins, FFT order, slice j at sample j*hop", check_finite)
