"""FastDual's per-residue least-norm solutions against scipy's pseudo-inverse.

The solver itself is internal; FastDual is the export that exposes it.
For each residue j0 of the time index modulo dM the dual samples
dual[j0 + c*dM] are column 0 of pinv(M) / dM, where M[a][c] is the window
(zero-extended to 2L - N samples in the aperiodic mode) at
(j0 + a*N + c*dM) mod Lx, singular values up to 1e-10 dropped. Here
scipy's LAPACK pseudo-inverse with that absolute cut is the oracle,
including overdetermined systems (dM = N, aperiodic) and rank-deficient
ones (windows with period L/2).
"""
import ctypes

import numpy as np
import pytest

from varnel import raw

scipy_linalg = pytest.importorskip("scipy.linalg")


@pytest.fixture(scope="module")
def lib(library):
    return raw


def as_ptr(a):
    return a.ctypes.data_as(ctypes.POINTER(ctypes.c_double))


def fast_dual(lib, g, dM, N, mode):
    g = np.ascontiguousarray(g, dtype=np.float64)
    dual = np.full_like(g, np.nan)
    assert lib.FastDual(as_ptr(g), len(g), dM, N, mode, as_ptr(dual)) == 0
    return dual


def reference_dual(g, dM, N, mode):
    L = len(g)
    q, p = L // N, L // dM
    Lx, R = (L, q) if mode == 0 else (2 * L - N, 2 * q - 1)
    extended = np.zeros(Lx)
    extended[:L] = g
    a = np.arange(R)[:, None]
    c = np.arange(p)[None, :]
    dual = np.empty(L)
    for j0 in range(dM):
        M = extended[(j0 + a * N + c * dM) % Lx]
        dual[j0::dM] = scipy_linalg.pinv(M, atol=1e-10, rtol=0)[:, 0] / dM
    return dual


def check(lib, g, dM, N, mode):
    expected = reference_dual(g, dM, N, mode)
    scale = max(np.max(np.abs(expected)), 1e-300)
    np.testing.assert_allclose(fast_dual(lib, g, dM, N, mode), expected, rtol=0, atol=1e-10 * scale)


LATTICES = [(16, 4, 8), (16, 4, 4), (32, 2, 8), (48, 8, 16), (64, 16, 16), (96, 12, 32), (8, 1, 1), (40, 5, 8)]


@pytest.mark.parametrize("L,dM,N", LATTICES)
@pytest.mark.parametrize("mode", [0, 1])
def test_random_windows(lib, L, dM, N, mode):
    rng = np.random.default_rng(L * 100 + dM * 10 + N)
    check(lib, rng.uniform(-1.0, 1.0, L), dM, N, mode)


@pytest.mark.parametrize("L,dM,N", [(32, 4, 8), (64, 8, 16), (48, 4, 8)])
def test_rank_deficient_periodic_systems(lib, L, dM, N):
    # A window with period L/2 repeats every row of a residue's system
    # half-way down, so each system has rank q/2 (q = L/N even here).
    rng = np.random.default_rng(7)
    half = rng.uniform(0.2, 1.0, L // 2)
    check(lib, np.concatenate([half, half]), dM, N, 0)


def test_window_with_a_vanishing_residue(lib):
    rng = np.random.default_rng(11)
    g = rng.uniform(0.5, 1.0, 32)
    g[3::4] = 0.0
    dual = fast_dual(lib, g, 4, 8, 1)
    np.testing.assert_array_equal(dual[3::4], 0.0)
    check(lib, g, 4, 8, 1)
