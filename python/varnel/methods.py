"""The representations that the command line draws, by name.

Each entry turns one channel (a 1-D real or complex signal at ``fs`` Hz)
and the grid chosen on the command line into a TFArray (frames x bins,
``.times`` in s, ``.freqs`` in Hz): complex values are drawn as 20 log10
of their magnitude, real ones as 10 log10 (power). An entry names the
exports it needs; where the loaded library lacks one, the demo leaves the
representation out and ``analyze`` refuses it with a clear message.
A new representation is one decorated function, as the Wigner-Ville
distribution's:

    @register("wvd", "Wigner-Ville distribution", requires=("WVD",),
              dynamic_range=QUADRATIC_RANGE, size=_wvd_size)
    def _wvd(x, fs, grid, start=0):
        return quadratic.wvd(x, bins=grid.bins, hop=grid.hop, fs=fs)

``start`` is the index of x[0] in the whole signal; it matters only to
entries registered with ``blockwise=True``, which ``analyze`` feeds long
inputs block by block (overlapping by the window length less one hop).
``size`` says what one channel will produce and need (see Method), so
that ``analyze`` can refuse an analysis too large for the machine before
it allocates anything; ``uses`` names the command-line options the entry
takes besides --bins and --hop (``analyze`` refuses the others).
An entry whose picture depends on what the computation found can say so
in a short phrase for the title, as the attribute ``summary`` of the
TFArray it returns (the adaptive spectrogram: terms kept and energy left).
"""
import dataclasses

import numpy as np

from . import adaptive, gaborsp, linear, quadratic, raw
from .errors import ADAPTIVE_SHORTEST, next_power_of_two


@dataclasses.dataclass(frozen=True)
class Grid:
    """The analysis grid: window samples, hop and bin count, the order of
    the Gabor spectrogram, the most terms of the adaptive one and the rule
    extending the signal beyond its ends (None: no extension)."""
    window: np.ndarray
    hop: int
    bins: int
    order: int = 2
    terms: int = 50
    boundary: str = None


# Why an entry without the option cannot use it, for the refusal.
UNUSED = {
    "window": "it has no analysis window to choose",
    "order": "only the Gabor spectrogram (gabor-sp) has orders",
    "terms": "only the adaptive spectrogram (adaptive) seeks terms",
    "boundary": "it does not extend the signal beyond its ends",
}


@dataclasses.dataclass(frozen=True)
class Method:
    name: str
    title: str
    compute: object           # compute(x, fs, grid, start=0) -> TFArray
    requires: tuple = ()
    window: str = "hann"      # default window family when none is given
    blockwise: bool = False   # frames of a block depend on that block only
    dynamic_range: float = 80.0   # dB drawn below the top of the map
    # size(n, length, hop, bins, real) -> (frames, columns, bytes per value,
    # bytes of working memory) for one channel of n samples and a window
    # of length samples; the working memory is the library's and the
    # numpy layer's temporaries, beyond the result itself.
    size: object = None
    uses: frozenset = frozenset()   # options of UNUSED that the entry takes
    power_of_two_hop: bool = False  # the library needs hop to be a power of two
    folds: bool = False       # a window longer than bins is folded onto them
    lattice: bool = False     # a Gabor lattice: hop <= bins, a window a multiple of both
    shortest: int = 2         # fewest samples it analyses, if more than its window or 2 bins need

    def available(self):
        return all(raw.available(name) for name in self.requires)


METHODS = {}


def register(name, title, requires=(), uses=(), *, size, **options):
    def add(compute):
        METHODS[name] = Method(name, title, compute, tuple(requires), size=size, uses=frozenset(uses), **options)
        return compute
    return add


def get(name):
    try:
        return METHODS[name]
    except KeyError:
        raise KeyError("unknown method %r; choose one of %s" % (name, ", ".join(METHODS))) from None


def _stft_frames(n, length, hop):
    return (n - length) // hop + 1 if n > length else 0


def _stft_size(n, length, hop, bins, real):
    # A real signal's frames come from the library as half-complex rows of
    # bins doubles before they are unpacked.
    frames = _stft_frames(n, length, hop)
    return frames, (bins // 2 + 1 if real else bins), 16, 8 * frames * bins


def _power_size(n, length, hop, bins, real):
    return _stft_frames(n, length, hop), (bins // 2 if real else bins), 8, 0


@register("stft", "Short-time Fourier transform (magnitude)", requires=("ReSTFTWithShift", "CxSTFTExWithShift"),
          blockwise=True, size=_stft_size, uses=("window", "boundary"), folds=True)
def _stft(x, fs, grid, start=0):
    return linear.stft(x, window=grid.window, hop=grid.hop, bins=grid.bins, fs=fs, start=start,
                       onesided=x.dtype.kind != "c", boundary=grid.boundary)


@register("spectrogram", "Spectrogram", requires=("ReSTFTsp", "CxSTFTsp"), blockwise=True, size=_power_size,
          uses=("window", "boundary"), folds=True)
def _spectrogram(x, fs, grid, start=0):
    return linear.spectrogram(x, window=grid.window, hop=grid.hop, bins=grid.bins, fs=fs, start=start,
                              boundary=grid.boundary)


# Not block-wise: cells move between frames, and the threshold below which
# they stay put is taken over the whole signal.
@register("reassigned", "Reassigned spectrogram", requires=("ReReassignedSTFTSp", "CxReassignedSTFTSp"),
          size=_power_size, uses=("window",), folds=True)
def _reassigned(x, fs, grid, start=0):
    return adaptive.reassigned_spectrogram(x, window=grid.window, hop=grid.hop, bins=grid.bins, fs=fs)


def _lattice_size(n, length, hop, bins, real):
    frames = -(-n // hop)
    return frames, (bins // 2 + 1 if real else bins), 16, 8 * frames * bins


@register("dgt", "Discrete Gabor transform (magnitude)", requires=("ReDGT", "CxDGT", "FastDual"),
          window="gaussian", size=_lattice_size, uses=("window", "boundary"), lattice=True)
def _dgt(x, fs, grid, start=0):
    return linear.dgt(x, window=grid.window, hop=grid.hop, bins=grid.bins, fs=fs, boundary=grid.boundary)


# The quadratic distributions use no window: the grid's bins and hop only.
# Their interference terms fill the plane at low levels, so they are drawn
# over a shorter range than the linear maps.
QUADRATIC_RANGE = 30.0


def _wvd_size(n, length, hop, bins, real):
    # The analytic signal and the lag products of one slice at a time.
    return n // hop, (bins // 2 if real else bins), 8, 48 * n


def _kernel_size(n, length, hop, bins, real):
    # The kernel is made one lag row (nextpow2(n) Doppler values) at a time
    # and smoothed in a few transforms of that width.
    frames, columns, itemsize, working = _wvd_size(n, length, hop, bins, real)
    return frames, columns, itemsize, working + 64 * next_power_of_two(n)


@register("wvd", "Wigner-Ville distribution", requires=("WVD",), dynamic_range=QUADRATIC_RANGE, size=_wvd_size)
def _wvd(x, fs, grid, start=0):
    return quadratic.wvd(x, bins=grid.bins, hop=grid.hop, fs=fs)


@register("cwd", "Choi-Williams distribution", requires=("CWD",), dynamic_range=QUADRATIC_RANGE,
          size=_kernel_size, power_of_two_hop=True)
def _cwd(x, fs, grid, start=0):
    return quadratic.cwd(x, bins=grid.bins, hop=grid.hop, fs=fs)


@register("csd", "Cone-shaped distribution", requires=("CSD",), dynamic_range=QUADRATIC_RANGE,
          size=_kernel_size, power_of_two_hop=True)
def _csd(x, fs, grid, start=0):
    # A Gaussian lag taper reaching 1/e at bins/8 lags keeps the cone's
    # frequency smoothing to a few bins whatever the bin count.
    return quadratic.csd(x, bins=grid.bins, hop=grid.hop, fs=fs, alpha=(8.0 / grid.bins) ** 2)


def _gabor_size(n, length, hop, bins, real):
    # The coefficients on the whole lattice (all bins, complex) three times
    # over while their phases are moved and they are handed on, and the
    # signal made complex.
    frames = -(-n // hop)
    return frames, (bins // 2 if real else bins), 8, 3 * 16 * frames * bins + 16 * n


@register("gabor-sp", "Gabor spectrogram", requires=("CxGaborSp", "CxDGT", "FastDual", "Gaussian"),
          window="gaussian", dynamic_range=QUADRATIC_RANGE, size=_gabor_size, uses=("order", "boundary"),
          power_of_two_hop=True, lattice=True)
def _gabor_sp(x, fs, grid, start=0):
    # The spectrogram builds its own Gaussian from the lattice, so the
    # grid's window is not used: a window of another shape has no closed-form
    # cross terms.
    return gaborsp.gabor_spectrogram(x, hop=grid.hop, bins=grid.bins, order=grid.order, fs=fs, boundary=grid.boundary)


def percent_text(value):
    """A percentage for a title: one decimal, two significant digits below 1."""
    return ("%.1f %%" if value >= 1 else "%.2g %%") % value


# Not block-wise: each term is sought in the whole signal. The pursuit
# chooses its own Gaussian windows, so the grid's window is not used; the
# image is drawn on the grid's hop and bins. Over 60 dB each term shows to
# about 3.7 standard deviations of its Gaussian, and the terms fitted to
# noise far below the signal stay dark.
def _adaptive_size(n, length, hop, bins, real):
    # The pursuit's spectrograms of the residual, windows from the signal's
    # length down to 16 samples, and room for as many terms (48 bytes each
    # with the coefficient) as --terms may ask, one a sample.
    return -(-n // hop), ((bins + 1) // 2 if real else bins), 8, (64 + 48) * n


@register("adaptive", "Adaptive spectrogram", requires=("ReAdaptiveTransform", "CxAdaptiveTransform",
                                                         "ReAdaptiveSp", "CxAdaptiveSp"),
          dynamic_range=60.0, size=_adaptive_size, uses=("terms",), shortest=ADAPTIVE_SHORTEST)
def _adaptive(x, fs, grid, start=0):
    decomposition = adaptive.adaptive_transform(x, grid.terms, fs=fs)
    tf = decomposition.spectrogram(hop=grid.hop, bins=grid.bins)
    tf.summary = "%d term%s" % (len(decomposition), "" if len(decomposition) == 1 else "s")
    if np.isfinite(decomposition.residual_percent):
        tf.summary += ", residual " + percent_text(decomposition.residual_percent)
    return tf


# The window families the command line names (built by linear.get_window).
WINDOWS = ("hann", "hamming", "blackman", "gaussian", "rect")
