"""Time and frequency axes in seconds and Hz.

The transforms attach these to their results (``S.times``, ``S.freqs``);
the functions are public for code that holds bare arrays.
"""
import numpy as np

from ._arrays import sample_rate


def times(frames, hop, fs=1.0, *, offset=0.0):
    """Times in seconds of ``frames`` frames ``hop`` samples apart:
    ``(offset + i * hop) / fs``. The STFT family places frame i's centre at
    sample ``i * hop + len(window) / 2`` (offset = len(window) / 2); the
    Gabor transform centres frame i on sample ``i * hop`` (offset 0)."""
    return (offset + hop * np.arange(int(frames), dtype=np.float64)) / sample_rate(fs)


def frequencies(bins, fs=1.0, *, first=0, count=None):
    """Frequencies in Hz of FFT bins first .. first+count-1 on a
    ``bins``-point grid (``count`` defaults to ``bins``): ``k * fs / bins``
    up to the Nyquist bin ``bins // 2``, which counts as positive, and
    ``(k - bins) * fs / bins`` above it, in FFT order as the library stores
    spectra. Only the bins asked for are made, however many the grid has."""
    bins = int(bins)
    k = int(first) + np.arange(bins if count is None else int(count), dtype=np.float64)
    signed = np.where(k <= bins // 2, k, k - bins)
    # fs / bins first: the product k * fs overflows for sample rates near the
    # largest double.
    return signed * (sample_rate(fs) / bins)
