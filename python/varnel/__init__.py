"""Varnel: time-frequency analysis on the libvarnel.so shared library.

    import numpy as np, varnel
    S = varnel.spectrogram(x, 48000)              # periodic Hann of 256, hop 64, 256 bins
    S = varnel.spectrogram(x, 48000, window="hamming", nperseg=1024, hop=256, scaling="density")
    S.times, S.freqs            # frame centres in s, bin frequencies in Hz
    y = varnel.istft(varnel.stft(x, boundary="zero"), boundary="zero", length=len(x))   # y == x

Two layers over one library: ``varnel.raw`` is the C interface as it is
(ctypes functions and records), and the functions here take numpy arrays,
allocate the outputs and raise ``VarnelError`` on a nonzero status:

    stft, istft, spectrogram        short-time Fourier transform, its inverse, its power
    dgt, dge                        Gabor transform (dual window computed) and expansion
    dgt2, dge2                      the same for real images, one lattice per dimension
    get_window                      window samples from a name, a scipy spec or an array
    gaussian, dual_window, extend   windows and signal extension
    wvd, cohen, cwd, csd            Wigner-Ville and Cohen-class distributions
    gabor_spectrogram, gabor_sp     Gabor spectrogram of a signal / of lattice coefficients
    gabor_coefficients, gabor_window  its Gaussian lattice expansion and window
    mean_instantaneous_frequency    mean frequency over time from the Gabor lattice (Hz)
    instantaneous_frequency         frequency centroid and energy of any map's slices
    reassigned_spectrogram          spectrogram with each cell moved to its energy's centre
    adaptive_transform              Gaussian chirplet terms of a signal, by greedy pursuit
    adaptive_expansion              signal rebuilt from Gaussian chirplet terms
    adaptive_spectrogram            closed-form Wigner image of chirplet terms
    terms, TERM_DTYPE               chirplet terms (alpha, tc, omega, beta) in samples
    terms_in_seconds, terms_from_seconds  the same terms in seconds and Hz
    times, frequencies              axes in seconds and Hz for bare arrays
    varnel.dask (import it)         the same on chunked dask arrays; files in batches on a cluster

Shared keywords:

- ``fs`` (Hz; the second positional argument of stft, istft, spectrogram,
  dgt and reassigned_spectrogram, as in scipy.signal), ``hop``, ``bins``.
- ``window=``: samples (a 1-D array), a name ("hann", "hamming",
  "blackman", "boxcar"/"rect", "gaussian", "kaiser", ...) or a scipy spec
  tuple (("kaiser", 8), ("tukey", 0.25)) of ``nperseg`` samples (default
  256), built by ``get_window``. Defaults: a periodic Hann for the STFT
  family, the library's Gaussian for the Gabor transform; hop a quarter of
  the window, bins the next power of two at or above its length.
- ``scaling=``: spectrogram None (the library's |X|^2/bins), "density" or
  "spectrum" (scipy.signal.spectrogram's); stft None, "spectrum" or "psd".
- ``boundary=``: None, or a rule of ``extend`` ("zero", "symmetric",
  "periodic", ...) by which stft, spectrogram, reassigned_spectrogram, dgt
  and gabor_spectrogram extend the signal beyond its ends, keeping the
  frames centred within it (no edge lines, no wrap-around).
- ``check_finite=True``: NaN or infinite samples, coefficients or window
  values raise ArgumentError naming the first ("x[1, 2047] is nan; ...");
  False hands them to the library, through which they propagate.
- ``workers=``: threads for multi-channel input (channels x samples).

Results are frames x bins TFArrays: scipy's ``Sxx`` (bins x frames) is
``S.T``. The library is found through ``$VARNEL_LIBRARY``, next to this
package, or in the repository's build directory, and loaded on first use.
"""
from . import raw
from ._library import LibraryError, LibraryNotFoundError
from .adaptive import (SECONDS_DTYPE, TERM_DTYPE, AdaptiveDecomposition, adaptive_expansion, adaptive_spectrogram,
                       adaptive_transform, reassigned_spectrogram, terms, terms_from_seconds, terms_in_seconds)
from .axes import frequencies, times
from .errors import ArgumentError, NumericalError, OutOfMemoryError, Status, VarnelError
from .gabor2d import dge2, dgt2
from .gaborsp import (balanced_variance, gabor_coefficients, gabor_sp, gabor_spectrogram, gabor_window,
                      mean_instantaneous_frequency)
from .linear import dge, dgt, dual_window, extend, gaussian, get_window, istft, spectrogram, stft
from .quadratic import cohen, csd, cwd, wvd
from .result import FrequencyTrack, TFArray
from .tfmap import instantaneous_frequency

__version__ = "0.1.0"

__all__ = [
    "raw", "stft", "istft", "spectrogram", "dgt", "dge", "dgt2", "dge2", "get_window", "gaussian", "dual_window",
    "extend",
    "wvd", "cohen", "cwd", "csd",
    "gabor_spectrogram", "gabor_sp", "gabor_coefficients", "gabor_window", "balanced_variance",
    "mean_instantaneous_frequency", "instantaneous_frequency", "FrequencyTrack",
    "reassigned_spectrogram", "adaptive_transform", "AdaptiveDecomposition", "adaptive_expansion",
    "adaptive_spectrogram",
    "terms", "terms_in_seconds", "terms_from_seconds", "TERM_DTYPE", "SECONDS_DTYPE",
    "times", "frequencies", "TFArray",
    "VarnelError", "ArgumentError", "OutOfMemoryError", "NumericalError", "Status",
    "LibraryError", "LibraryNotFoundError", "load_library",
]


def load_library():
    """Load libvarnel.so now (it is otherwise loaded on first use) and return
    its path; raises LibraryError saying where it looked if it cannot."""
    return raw.library_path()
