#!/usr/bin/python3
"""Time FastDual against LTFAT's gabdual (ltfatpy) on the same windows.

Gaussian windows exp(-(j - L/2)^2 / (2 (L/8)^2)) of L samples, 256 bins
and a time step of 64 (512 bins and 128 at L = 2^18). periodic/varnel/<L>:
FastDual in mode 0, the periodic dual, through ctypes with the arrays made
before timing; periodic/ltfatpy/<L>: ltfatpy.gabdual of the same window
and lattice, the canonical dual of the periodic frame, which is the same
window up to a scale (checked to 1e-9 of its peak before timing).
aperiodic/varnel/<L>: FastDual in mode 1, which LTFAT does not offer.
Varnel is the library $VARNEL_LIBRARY names (report.py sets it to that of
the build it measures).
"""
import ctypes
import os
import sys

import ltfatpy
import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(HERE)), "python"))
import companion  # noqa: E402
import varnel.raw  # noqa: E402

DOUBLES = ctypes.POINTER(ctypes.c_double)


def lattice(L):
    return (128, 512) if L >= 1 << 18 else (64, 256)


def gaussian(L):
    j = np.arange(L)
    return np.exp(-0.5 * ((j - L / 2) / (L / 8)) ** 2)


def fast_dual(L, mode):
    hop, bins = lattice(L)
    window, dual = gaussian(L), np.zeros(L)
    library = varnel.raw.load()

    def call():
        status = library.FastDual(window.ctypes.data_as(DOUBLES), L, hop, bins, mode, dual.ctypes.data_as(DOUBLES))
        if status != 0:
            raise SystemExit("FastDual returned %d" % status)
        return dual
    return call


def ltfat_dual(L):
    hop, bins = lattice(L)
    window = gaussian(L)

    def call():
        return np.asarray(ltfatpy.gabdual(window, hop, bins)).ravel()

    ours, theirs = fast_dual(L, 0)(), call()
    scale = np.dot(theirs, ours) / np.dot(ours, ours)
    if not np.max(np.abs(theirs - scale * ours)) < 1e-9 * np.max(np.abs(theirs)):
        raise SystemExit("the periodic duals of L = %d differ" % L)
    return call


def main():
    args = companion.parse_arguments(__doc__.splitlines()[0], "one small window of each kind, one call each")
    periodic = [1 << 12] if args.smoke else [1 << 12, 1 << 14, 1 << 16, 1 << 18]
    aperiodic = [1 << 10] if args.smoke else [1 << 10, 1 << 12, 1 << 14]
    cases = []
    for L in periodic:
        cases += [companion.Case("periodic/varnel/%d" % L, prepare=lambda L=L: fast_dual(L, 0)),
                  companion.Case("periodic/ltfatpy/%d" % L, prepare=lambda L=L: ltfat_dual(L))]
    cases += [companion.Case("aperiodic/varnel/%d" % L, prepare=lambda L=L: fast_dual(L, 1)) for L in aperiodic]
    return companion.run(cases, {"ltfatpy_version": getattr(ltfatpy, "__version__", "unknown")}, args)


if __name__ == "__main__":
    sys.exit(main())
