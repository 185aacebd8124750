#!/usr/bin/python3
"""Wigner-Ville and Choi-Williams distributions written with numpy, timed.

This is the way a Python user computes these distributions with numpy
alone, vectorised over slices and lags, and it is the benchmark's
reference: the same definitions as Varnel's WVD and CWD (same analysed
sequences, lag table, Doppler smoothing, scaling and output layout), so
that the two outputs can be compared value for value.

As a program it times the problems of bench_quadratic.cpp and reports them
as wvdre<nFreq>/numpy/<N>, wvdan<nFreq>/numpy/<N> and cwd<nFreq>/numpy/<N>
for report.py.
"""
import os
import sys

import numpy as np

SQRT2 = 1.4142135623730951
LAG_CHUNK = 64  # lags smoothed at once by cwd(): bounds the K x chunk intermediate


def next_pow2(n):
    return 1 << max(0, int(n - 1).bit_length())


def analytic_signal(x):
    """Energy-preserving analytic signal: positive bins times sqrt(2)."""
    n = len(x)
    m = next_pow2(n)
    spectrum = np.fft.fft(x, m)
    z = np.zeros(m, dtype=complex)
    z[0] = spectrum[0].real
    z[1:(m + 1) // 2] = SQRT2 * spectrum[1:(m + 1) // 2]
    if m % 2 == 0 and m >= 2:
        z[m // 2] = spectrum[m // 2].real
    return np.fft.ifft(z)[:n]


def half_sample_interpolation(x):
    """2N samples: the input at even indices, band-limited x(n + 1/2) at odd ones."""
    n = len(x)
    m = next_pow2(n)
    k = np.arange(1, (m + 1) // 2)
    if np.iscomplexobj(x):
        spectrum = np.fft.fft(x, m)
        spectrum[k] *= np.exp(1j * k * (np.pi / m))
        spectrum[m - k] *= np.exp(-1j * k * (np.pi / m))
        if m % 2 == 0:
            spectrum[m // 2] *= -1j
        shifted = np.fft.ifft(spectrum)
        out = np.empty(2 * n, dtype=complex)
    else:
        spectrum = np.fft.rfft(x, m)
        spectrum[k] *= np.exp(1j * k * (np.pi / m))
        if m % 2 == 0:
            spectrum[m // 2] = 0.0
        shifted = np.fft.irfft(spectrum, m)
        out = np.empty(2 * n)
    out[0::2] = x
    out[1::2] = shifted[:n]
    return out


def analysed_sequence(re, im, analytic):
    """(sequence, grid factor up) of the three modes: half-sample grid but for analytic."""
    if im is not None:
        return half_sample_interpolation(np.asarray(re) + 1j * np.asarray(im)), 2
    if analytic:
        return analytic_signal(np.asarray(re, dtype=float)), 1
    return half_sample_interpolation(np.asarray(re, dtype=float)), 2


def mode_grid(n_freq, complex_input, analytic):
    """(lags = lag transform length, bins kept)."""
    if complex_input:
        return n_freq, n_freq
    if analytic:
        return n_freq // 2, n_freq // 2
    return n_freq, n_freq // 2


def lag_spectrum(table, lags, bins):
    """table: slices x lags; the Hermitian lag sum of every slice, first bins kept."""
    spectrum = np.fft.fft(table, lags, axis=1)
    return (2.0 * spectrum.real[:, :bins] - table[:, :1].real) / lags


def wvd(re, im, n_freq, time_step, analytic=False):
    """Slices x bins, slice j at sample j * time_step."""
    z, up = analysed_sequence(re, im, analytic)
    lags, bins = mode_grid(n_freq, im is not None, analytic)
    length = len(z)
    slices = len(re) // time_step
    centres = (np.arange(slices) * (up * time_step))[:, None]
    lag = np.arange(lags)[None, :]
    inside = (centres + lag <= length - 1) & (centres - lag >= 0)
    ahead = np.where(inside, centres + lag, 0)
    behind = np.where(inside, centres - lag, 0)
    table = np.where(inside, z[ahead] * np.conj(z[behind]), 0.0)
    return lag_spectrum(table, lags, bins)


def choi_williams_kernel(rows, width, sigma):
    r = np.arange(rows)[:, None].astype(np.int64)
    c = np.arange(width)[None, :].astype(np.int64) - width // 2
    return np.exp(-max(sigma, 0.0) * (r * r * c * c).astype(float))


def cohen(re, im, n_freq, kernel, time_step, analytic=False):
    """Cohen class with a kernel table of lag rows by Doppler columns (zero Doppler at width/2)."""
    z, up = analysed_sequence(re, im, analytic)
    lags, bins = mode_grid(n_freq, im is not None, analytic)
    length = len(z)
    slices = len(re) // time_step
    width = next_pow2(slices * time_step)
    short = width // time_step
    real_mode = im is None and not analytic
    doppler = np.fft.ifftshift(kernel[:lags], axes=1)
    if real_mode:  # the real mode keeps the smoothed sequence real
        doppler = 0.5 * (doppler + np.roll(doppler[:, ::-1], 1, axis=1))
    samples = np.arange(width)[None, :]
    table = np.empty((slices, lags), dtype=complex)
    for first in range(0, lags, LAG_CHUNK):
        lag = np.arange(first, min(first + LAG_CHUNK, lags))[:, None]
        ahead, behind = samples * up + lag, samples * up - lag
        inside = (behind >= 0) & (ahead <= length - 1)
        products = np.where(inside, z[np.where(inside, ahead, 0)] * np.conj(z[np.where(inside, behind, 0)]), 0.0)
        spectrum = np.fft.fft(products, axis=1) * doppler[lag[:, 0]]
        folded = spectrum.reshape(len(lag), time_step, short).sum(axis=1) / time_step
        table[:, first:first + len(lag)] = np.fft.ifft(folded, axis=1)[:, :slices].T
    if real_mode:
        table = table.real
    return lag_spectrum(table, lags, bins)


def cwd(re, im, n_freq, time_step, sigma, analytic=False):
    width = next_pow2(len(re))
    return cohen(re, im, n_freq, choi_williams_kernel(n_freq, width, sigma), time_step, analytic)


# ---------------------------------------------------------------- benchmark

def main():
    sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    import companion

    args = companion.parse_arguments(__doc__.splitlines()[0], "small problems, one call each")
    lengths = [1024] if args.smoke else [4096, 16384]
    freqs = [128] if args.smoke else [512, 1024]
    time_step, sigma = 8, 0.05  # bench_quadratic.cpp uses the same
    cases = []
    for n_freq in freqs:
        for n in lengths:
            x = companion.xorshift_signal(n, 11)
            cases.append(companion.Case("wvdre%d/numpy/%d" % (n_freq, n),
                                        lambda x=x, f=n_freq: wvd(x, None, f, time_step)))
            cases.append(companion.Case("wvdan%d/numpy/%d" % (n_freq, n),
                                        lambda x=x, f=n_freq: wvd(x, None, f, time_step, analytic=True)))
            cases.append(companion.Case("cwd%d/numpy/%d" % (n_freq, n),
                                        lambda x=x, f=n_freq: cwd(x, None, f, time_step, sigma)))
    return companion.run(cases, {}, args)


if __name__ == "__main__":
    sys.exit(main())
