#!/usr/bin/python3
"""Time LTFAT's Gabor transforms (ltfatpy) on the problems of bench_dgt.cpp.

dgt/ltfatpy/<n>: dgtreal on the same signal (the xorshift64 sequence of
bench_dgt.cpp, 2^20 samples), the same periodic Hann window of 1024 samples
given to LTFAT as a FIR window, time step 256, 1024 channels.

<op>-n<n>/ltfatpy/<L>: the window-length sweep. redgt is dgtreal, cxdgt is
dgt of the complex signal (the interleaved sequence of 2n values), redge
and cxdge are idgtreal and idgt of those transforms' coefficients (LTFAT's
own, made before timing: the same numbers as Varnel's up to the layout and
a sign (-1)^b when L/N is odd). Lattice and Gaussian window as in
bench_dgt.cpp. LTFAT takes its window with the centre at index 0, so
Varnel's window (centre at L/2) is passed rotated by L/2: as a FIR window
of L samples for L <= 16N, which LTFAT runs frame by frame, and for the
long windows n/4 and n zero-padded to the full length n, which LTFAT runs
through its factorisation.

<op>-s<s>/ltfatpy/<L>: the two-dimensional cases, square images of side s
with the lattice of bench_dgt.cpp's register2d (time step N/2). dgt2d is
dgtreal down the columns, then dgt along the rows of its coefficients (the
N/2 + 1 bins of each column frame: half the rows Varnel's DGT2d transforms,
which keeps all N); dge2d is idgt along the rows, then idgtreal down the
columns, of LTFAT's own coefficients. The transposes between the two
passes are part of the timed call.

One call is the whole signal. The names match the C++ program's, so that
report.py merges both into the dgt section.
"""
import functools
import math
import os
import sys

import ltfatpy
import numpy as np

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import companion  # noqa: E402

WINDOW_LENGTH, TIME_STEP, BINS = 1024, 256, 1024
SEED = 5


def hann_ltfat_window():
    j = np.arange(WINDOW_LENGTH)
    hann = 0.5 - 0.5 * np.cos(2.0 * np.pi * j / WINDOW_LENGTH)
    return np.roll(hann, -(WINDOW_LENGTH // 2))


# ---------------------------------------------------------------- sweep

@functools.lru_cache(maxsize=None)
def signal(n, complex_values):
    """bench_dgt.cpp's signal: n real values, or n complex from 2n interleaved."""
    if not complex_values:
        return companion.xorshift_signal(n, SEED)
    v = companion.xorshift_signal(2 * n, SEED)
    return v[0::2] + 1j * v[1::2]


def lattice(n):
    """(N, dM) for n = 2^p: N = 2^ceil(p/2) bins, time step N/4."""
    bins = 1 << ((n.bit_length() - 1 + 1) // 2)
    return bins, bins // 4


def window_lengths(n):
    """As bench_dgt.cpp: each length once (n/4 is 16N at n = 2^12)."""
    bins = lattice(n)[0]
    return list(dict.fromkeys([bins, 4 * bins, 16 * bins, n // 4, n]))


def sweep_window(length, n, step=None):
    """bench_dgt.cpp's Gaussian, in LTFAT's form: rotated by -L/2, and for
    the long windows zero-padded in the middle to n samples."""
    bins, sweep_step = lattice(n)
    step = step or sweep_step
    spread = length / 14.0 if length <= 16 * bins else math.sqrt(step * bins / (2.0 * math.pi))
    u = (np.arange(length) - length // 2) / spread
    g = np.roll(np.exp(-0.5 * u * u), -(length // 2))
    if length <= 16 * bins:
        return g
    return np.concatenate([g[:length // 2], np.zeros(n - length), g[length // 2:]])


def sweep_call(op, n, length):
    """The call that the case times, its inputs made here."""
    bins, step = lattice(n)
    g = sweep_window(length, n)
    x = signal(n, op.startswith("cx"))
    if op == "redgt":
        return lambda: ltfatpy.dgtreal(x, g, step, bins)[0]
    if op == "cxdgt":
        return lambda: ltfatpy.dgt(x, g, step, bins)[0]
    if op == "redge":
        c = ltfatpy.dgtreal(x, g, step, bins)[0]
        return lambda: ltfatpy.idgtreal(c, g, step, bins, Ls=n)[0]
    c = ltfatpy.dgt(x, g, step, bins)[0]
    return lambda: ltfatpy.idgt(c, g, step, Ls=n)[0]


def image_call(op, side, length):
    """The two-dimensional case's call, its image (and LTFAT's coefficients
    for the expansion) made here."""
    bins = lattice(side)[0]
    step = bins // 2
    g = sweep_window(length, side, step)
    image = companion.xorshift_signal(side * side, SEED).reshape(side, side)

    def transform():
        columns = ltfatpy.dgtreal(image, g, step, bins)[0]  # (N/2 + 1, F, side)
        rows = np.ascontiguousarray(columns.reshape(-1, side).T)
        return ltfatpy.dgt(rows, g, step, bins)[0]  # (N, F, (N/2 + 1) F)

    if op == "dgt2d":
        return transform
    coefficients = transform()

    def expand():
        rows = ltfatpy.idgt(coefficients, g, step, Ls=side)[0]  # (side, (N/2 + 1) F)
        columns = np.ascontiguousarray(rows.T).reshape(bins // 2 + 1, -1, side)
        return ltfatpy.idgtreal(columns, g, step, bins, Ls=side)[0]
    return expand


def main():
    args = companion.parse_arguments(__doc__.splitlines()[0], "small signals, one call each")
    n = (1 << 14) if args.smoke else (1 << 20)
    hann = hann_ltfat_window()
    cases = [companion.Case("dgt/ltfatpy/%d" % n,
                            prepare=lambda: functools.partial(ltfatpy.dgtreal, signal(n, False), hann,
                                                              TIME_STEP, BINS))]
    for size in [1 << 10] if args.smoke else [1 << 12, 1 << 14, 1 << 16, 1 << 18, 1 << 20]:
        for op in ("redgt", "cxdgt", "redge", "cxdge"):
            cases += [companion.Case("%s-n%d/ltfatpy/%d" % (op, size, length),
                                     prepare=functools.partial(sweep_call, op, size, length))
                      for length in window_lengths(size)]
    for side in [64] if args.smoke else [256, 512, 1024]:
        bins = lattice(side)[0]
        for op in ("dgt2d", "dge2d"):
            cases += [companion.Case("%s-s%d/ltfatpy/%d" % (op, side, length),
                                     prepare=functools.partial(image_call, op, side, length))
                      for length in (bins, 4 * bins, side)]
    return companion.run(cases, {"ltfatpy_version": getattr(ltfatpy, "__version__", "?")}, args)


if __name__ == "__main__":
    sys.exit(main())
