"""FastDual's per-residue least-norm solutions against scipy's pseudo-inverse:
dual[j0 + c*dM] is column 0 of pinv(M) / dM, M[a][c] the window (zero-extended
to 2L - N samples in the aperiodic mode) at (j0 + a*N + c*dM) mod Lx,
singular values up to 1e-10 dropped; overdetermined and rank-deficient
systems included."""
import numpy as np
import pytest

from varnel import raw

scipy_linalg = pytest.importorskip("scipy.linalg")


pytestmark = pytest.mark.usefixtures("library")


def fast_dual(g, dM, N, mode):
    g = np.ascontiguousarray(g, dtype=np.float64)
    dual = np.full_like(g, np.nan)
    assert raw.FastDual(raw.pointer(g), len(g), dM, N, mode, raw.pointer(dual)) == 0
    return dual


def reference_dual(g, dM, N, mode):
    L = len(g)
    q, p = L // N, L // dM
    Lx, R = (L, q) if mode == 0 else (2 * L - N, 2 * q - 1)
    extended, a, c, dual = np.pad(g, (0, Lx - L)), np.arange(R)[:, None], np.arange(p)[None, :], np.empty(L)
    for j0 in range(dM):
        M = extended[(j0 + a * N + c * dM) % Lx]
        dual[j0::dM] = scipy_linalg.pinv(M, atol=1e-10, rtol=0)[:, 0] / dM
    return dual


def check(g, dM, N, mode):
    expected = reference_dual(g, dM, N, mode)
    np.testing.assert_allclose(fast_dual(g, dM, N, mode), expected, rtol=0, atol=1e-10 * np.max(np.abs(expected)))


LATTICES = [(16, 4, 8), (16, 4, 4), (32, 2, 8), (48, 8, 16), (64, 16, 16), (96, 12, 32), (8, 1, 1), (40, 5, 8)]


@pytest.mark.parametrize("L,dM,N", LATTICES)
@pytest.mark.parametrize("mode", [0, 1])
def test_random_windows(L, dM, N, mode):
    rng = np.random.default_rng(L * 100 + dM * 10 + N)
    check(rng.uniform(-1.0, 1.0, L), dM, N, mode)


@pytest.mark.parametrize("L,dM,N", [(32, 4, 8), (64, 8, 16), (48, 4, 8)])
def test_rank_deficient_periodic_systems(L, dM, N):
    # A window with period L/2 repeats every row of a residue's system
    # half-way down, so each system has rank q/2 (q = L/N even here).
    check(np.tile(np.random.default_rng(7).uniform(0.2, 1.0, L // 2), 2), dM, N, 0)


def test_window_with_a_vanishing_residue():
    g = np.random.default_rng(11).uniform(0.5, 1.0, 32)
    g[3::4] = 0.0
    np.testing.assert_array_equal(fast_dual(g, 4, 8, 1)[3::4], 0.0)
    check(g, 4, 8, 1)
