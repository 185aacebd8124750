#!/usr/bin/python3
"""Reassigned spectrograms written with numpy, timed on bench_reassigned.cpp's problems.

This is how a Python user computes a reassigned spectrogram with numpy
alone, vectorised over frames and bins: the frames as a strided view of the
signal, the three windowed transforms with numpy.fft (rfft for a real
signal), the energies and rounded offsets as array expressions, and the
energies added at their targets with numpy.add.at. It follows Varnel's
definition (windows h, th, dh, threshold, rounding half up, bins taken
modulo K, the real signal's fold at the Nyquist bin, energy outside the
frames dropped), so its output can be compared with the library's value for
value.

As a program it reports rsp/numpy/<K> (real) and crsp/numpy/<K> (complex)
for report.py: 2^20 samples, periodic Hann window of length K, hop K/4.
"""
import os
import sys

import numpy as np


def reassign_windows(w, k):
    """h = w/sqrt(K), th = time from the window centre times h, dh its difference derivative."""
    length = len(w)
    h = np.asarray(w, dtype=float) / np.sqrt(k)
    th = (np.arange(length) - (length - 1) / 2.0) * h
    dh = np.empty(length)
    d = (h[-1] - h[0]) / (length - 1)
    dh[0] = (d + h[1] + h[-1]) / 2.0
    dh[-1] = (d - h[-2] - h[0]) / 2.0
    dh[1:-1] = (h[2:] - h[:-2]) / 2.0
    return h, th, dh


def reassigned_spectrogram(x, w, step, k):
    """M x Kout energies, row-major: Kout = K/2 for a real x, K for a complex one."""
    real = not np.iscomplexobj(x)
    n, length = len(x), len(w)
    frames = (n - length) // step + 1
    bins_out = k // 2 if real else k
    h, th, dh = reassign_windows(w, k)
    power = np.mean(np.abs(x) ** 2)
    threshold = 1e-6 * power if np.isfinite(power) else np.nan

    segments = np.lib.stride_tricks.sliding_window_view(x, length)[::step][:frames]
    periods = -(-length // k)

    def spectrum(window):
        windowed = segments * window
        if periods > 1:  # wrap segments longer than K onto K points
            windowed = np.pad(windowed, ((0, 0), (0, periods * k - length))).reshape(frames, periods, k).sum(axis=1)
        transform = np.fft.rfft(windowed, k) if real else np.fft.fft(windowed, k)
        return transform[:, :bins_out]

    xh, xth, xdh = spectrum(h), spectrum(th), spectrum(dh)
    p = xh.real ** 2 + xh.imag ** 2
    with np.errstate(divide="ignore", invalid="ignore"):
        frame_shift = np.floor((xth * np.conj(xh)).real / p / step + 0.5)
        bin_shift = np.floor((xdh * np.conj(xh)).imag / p * (k / (2 * np.pi)) + 0.5)
    small = (p <= threshold) if real else (p < threshold)
    stays = small | ~np.isfinite(frame_shift) | ~np.isfinite(bin_shift)

    # A cell that stays keeps shifts of zero, which make it its own target.
    rows = np.arange(frames)[:, None]
    cols = np.arange(bins_out)[None, :]
    target_row = rows + np.where(stays, 0.0, frame_shift)
    target_bin = np.mod(cols - np.where(stays, 0.0, bin_shift), k)
    if real:
        target_bin = np.where(target_bin > k // 2, k - target_bin, target_bin)
    inside = (target_row >= 0) & (target_row < frames) & ((not real) | (target_bin < k // 2))
    kept = stays | inside

    out = np.zeros(frames * bins_out)
    index = (target_row[kept] * bins_out + target_bin[kept]).astype(np.int64)
    np.add.at(out, index, p[kept])
    return out.reshape(frames, bins_out)


def main():
    sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    import companion

    args = companion.parse_arguments(__doc__.splitlines()[0], "two small sizes, one call each")
    n = (1 << 14) if args.smoke else (1 << 20)
    sizes = [64, 1024] if args.smoke else [256, 1024, 4096]
    x = companion.xorshift_signal(n, 7)
    pairs = companion.xorshift_signal(2 * n, 7)  # the C++ side's complex samples: (re, im) pairs
    z = pairs[0::2] + 1j * pairs[1::2]
    cases = []
    for k in sizes:
        w = 0.5 - 0.5 * np.cos(2 * np.pi * np.arange(k) / k)  # periodic Hann, as bench_frame.h
        cases.append(companion.Case("rsp/numpy/%d" % k, lambda k=k, w=w: reassigned_spectrogram(x, w, k // 4, k)))
        cases.append(companion.Case("crsp/numpy/%d" % k, lambda k=k, w=w: reassigned_spectrogram(z, w, k // 4, k)))
    return companion.run(cases, {}, args)


if __name__ == "__main__":
    sys.exit(main())
