#!/usr/bin/python3
"""Time scipy.signal.spectrogram on the problems of bench_stft.cpp.

Same signal (the xorshift64 sequence of bench_stft.cpp), periodic Hann
window of length M, hop M/4, M = 64 ... 8192, one-sided spectrum,
detrend=False. One call is the whole signal. Benchmarks are named
sp/scipy/<M>, so that report.py merges them into the stft section.
"""
import os
import sys

import scipy
import scipy.signal

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import companion  # noqa: E402


def spectrogram(x, m):
    window = scipy.signal.get_window("hann", m)  # periodic, as in the C++ benchmark
    return scipy.signal.spectrogram(x, fs=1.0, window=window, nperseg=m, noverlap=m - m // 4, nfft=m,
                                    detrend=False, return_onesided=True, scaling="spectrum", mode="psd")


def main():
    args = companion.parse_arguments(__doc__.splitlines()[0], "two small sizes, one call each")
    x = companion.xorshift_signal((1 << 14) if args.smoke else (1 << 20), 7)
    sizes = [64, 1024] if args.smoke else [64 << p for p in range(8)]
    cases = [companion.Case("sp/scipy/%d" % m, lambda m=m: spectrogram(x, m)) for m in sizes]
    return companion.run(cases, {"scipy_version": scipy.__version__}, args)


if __name__ == "__main__":
    sys.exit(main())
