#!/usr/bin/python3
"""Time LTFAT's dgtreal (ltfatpy) on the problem of bench_dgt.cpp.

Same signal (the xorshift64 sequence of bench_dgt.cpp, 2^20 samples), the
same periodic Hann window of 1024 samples given to LTFAT as a FIR window,
time step 256, 1024 channels. LTFAT takes a FIR window with its centre at
index 0, so Varnel's window (centre at L/2) is passed rotated by L/2. One
call is the whole signal. The benchmark is named dgt/ltfatpy/<n>, so that
report.py merges it into the dgt section.
"""
import os
import sys

import ltfatpy
import numpy as np

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import companion  # noqa: E402

WINDOW_LENGTH, TIME_STEP, BINS = 1024, 256, 1024


def ltfat_window():
    j = np.arange(WINDOW_LENGTH)
    hann = 0.5 - 0.5 * np.cos(2.0 * np.pi * j / WINDOW_LENGTH)
    return np.roll(hann, -(WINDOW_LENGTH // 2))


def main():
    args = companion.parse_arguments(__doc__.splitlines()[0], "a small signal, one call")
    n = (1 << 14) if args.smoke else (1 << 20)

    def prepare():
        x, g = companion.xorshift_signal(n, 5), ltfat_window()
        return lambda: ltfatpy.dgtreal(x, g, TIME_STEP, BINS)[0]

    cases = [companion.Case("dgt/ltfatpy/%d" % n, prepare=prepare)]
    return companion.run(cases, {"ltfatpy_version": getattr(ltfatpy, "__version__", "?")}, args)


if __name__ == "__main__":
    sys.exit(main())
