"""FastDual in periodic mode against LTFAT's canonical dual window.

Mapping: our time step dM is LTFAT's a, our bin count N its M, and the
periodic dual (mode 0) of a window of L samples is the canonical dual of
the Gabor frame on signals of length L. LTFAT normalises the dual by the
Wexler-Raz condition with 1/M, we by 1/dM (the expansion applies dM to
the synthesis window), so dual = (N / dM) * gabdual(g, dM, N, L). The
canonical dual commutes with circular shifts, so LTFAT's zero-phase
window convention and ours (window starting at index 0) give the same
samples index by index; the test checks both placements.
"""
import ctypes

import numpy as np
import pytest

from varnel import raw

ltfatpy = pytest.importorskip("ltfatpy")


@pytest.fixture(scope="module")
def lib(library):
    return raw


def as_ptr(a):
    return a.ctypes.data_as(ctypes.POINTER(ctypes.c_double))


def fast_dual(lib, g, dM, N, mode=0):
    g = np.ascontiguousarray(g, dtype=np.float64)
    dual = np.zeros_like(g)
    status = lib.FastDual(as_ptr(g), len(g), dM, N, mode, as_ptr(dual))
    assert status == 0
    return dual


def gaussian(L, spread):
    t = np.arange(L)
    return np.exp(-0.5 * ((t - L / 2) / (spread * L)) ** 2)


LATTICES = [(16, 4, 8), (64, 8, 16), (96, 12, 32), (48, 6, 16), (128, 16, 64), (64, 16, 16), (32, 1, 4)]


@pytest.mark.parametrize("L,dM,N", LATTICES)
@pytest.mark.parametrize("spread", [0.1, 0.25])
def test_periodic_dual_is_scaled_canonical_dual(lib, L, dM, N, spread):
    g = gaussian(L, spread)
    expected = (N / dM) * ltfatpy.gabdual(g, dM, N, L)
    dual = fast_dual(lib, g, dM, N)
    np.testing.assert_allclose(dual, expected, rtol=0, atol=1e-10 * np.max(np.abs(expected)))


@pytest.mark.parametrize("L,dM,N", LATTICES[:4])
def test_zero_phase_window_gives_the_same_dual_samples(lib, L, dM, N):
    g = np.roll(gaussian(L, 0.2), -L // 2)  # LTFAT's centred placement
    expected = (N / dM) * ltfatpy.gabdual(g, dM, N, L)
    np.testing.assert_allclose(fast_dual(lib, g, dM, N), expected, rtol=0, atol=1e-10 * np.max(np.abs(expected)))


def test_random_window(lib):
    rng = np.random.default_rng(3)
    L, dM, N = 64, 8, 32
    g = rng.uniform(0.5, 1.5, L)
    expected = (N / dM) * ltfatpy.gabdual(g, dM, N, L)
    np.testing.assert_allclose(fast_dual(lib, g, dM, N), expected, rtol=0, atol=1e-10 * np.max(np.abs(expected)))
