#!/usr/bin/python3
"""Time varnel.istft against scipy.signal.istft on the same problems.

2^18 samples of the xorshift64 sequence of the C++ benchmarks, periodic
Hann window of 256 samples, 256 bins, hops 4 to 128: each library's
one-sided frames of the signal (Varnel's stft with boundary=None, scipy's
stft with boundary=None and padded=False: the same frames), inverted by
the same library, which gives back the samples the frames cover. Both
results are checked against the signal before they are timed. Benchmarks
are named istft/<varnel|scipy>/<hop>. Varnel is the library $VARNEL_LIBRARY
names (report.py sets it to that of the build it measures).
"""
import os
import sys
import warnings

import numpy as np
import scipy
import scipy.signal

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.dirname(HERE))
sys.path.insert(0, os.path.join(REPO, "python"))
import companion  # noqa: E402
import varnel  # noqa: E402

# scipy tests every sample for a nonzero window sum, and the periodic Hann's
# first sample, under which alone x[0] lies, is 0: it warns, and inverts
# the rest.
warnings.filterwarnings("ignore", "NOLA condition failed", UserWarning)

L = 256


def cases(x, hop):
    window = scipy.signal.get_window("hann", L)
    ours = varnel.stft(x, window=window, hop=hop, onesided=True, boundary=None)
    _, _, theirs = scipy.signal.stft(x, window=window, nperseg=L, noverlap=L - hop, boundary=None, padded=False)
    span = (ours.shape[0] - 1) * hop + L

    def varnel_istft():
        return varnel.istft(ours, window=window, hop=hop, boundary=None)

    def scipy_istft():
        return scipy.signal.istft(theirs, window=window, nperseg=L, noverlap=L - hop, boundary=False)[1]

    # Away from the two ends, which a single frame covers, both are x.
    inside = slice(L, span - L)
    for name, call in (("varnel", varnel_istft), ("scipy", scipy_istft)):
        error = np.max(np.abs(call()[inside] - x[inside]))
        if not error < 1e-12:
            raise SystemExit("%s istft at hop %d is off by %g" % (name, hop, error))
    return [companion.Case("istft/varnel/%d" % hop, varnel_istft), companion.Case("istft/scipy/%d" % hop, scipy_istft)]


def main():
    args = companion.parse_arguments(__doc__.splitlines()[0], "one small problem, one call each")
    x = companion.xorshift_signal((1 << 12) if args.smoke else (1 << 18), 11)
    hops = [64] if args.smoke else [4, 8, 16, 32, 64, 128]
    return companion.run([case for hop in hops for case in cases(x, hop)],
                         {"scipy_version": scipy.__version__}, args)


if __name__ == "__main__":
    sys.exit(main())
