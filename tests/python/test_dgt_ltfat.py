"""Varnel's discrete Gabor transforms against LTFAT (ltfatpy).

Convention mapping, found from the definitions on both sides and checked
here to 1e-10 relative:

- LTFAT's dgt/dgtreal with the default phase convention 'freqinv' is
  c(m, n) = sum_l f(l) conj(g(l - a n)) exp(-2 pi i l m / M), with l - a n
  taken modulo the transform length: the phase refers to absolute time 0.
  ('timeinv' refers it to each frame's own start instead and differs by
  exp(2 pi i m a n / M).) Varnel refers the phase to signal time -L/2, the
  start of its extended buffer, so with h = L/2 (a = dM, M = N)
      varnel[k, b] = exp(-2 pi i b h / N) * ltfat_freqinv[b, k].
- A FIR window handed to LTFAT has its centre (time 0) at index 0 and its
  second half at negative times, while Varnel's window g[j] sits at time
  j - h; the same window is therefore g rotated left by h for LTFAT.
- dgtreal returns the bins 0 .. N/2 of the positive frequencies, which is
  the half held by Varnel's Hc frames (Re at b, Im at N - b); dgt returns
  all N bins, as CxDGT does.
- LTFAT's transform length is a multiple of lcm(a, M) and Varnel's period a
  multiple of dM; the signals below have lengths that are multiples of
  both, so the two periodisations coincide.
"""
import ctypes

import numpy as np
import pytest

from varnel import raw

ltfatpy = pytest.importorskip("ltfatpy")

DOUBLE_P = raw.double_p
WindowSpec = raw.WindowSpec


@pytest.fixture(scope="module")
def lib(library):
    return raw


def pointer(a):
    return a.ctypes.data_as(DOUBLE_P)


def hann(length):
    return 0.5 - 0.5 * np.cos(2.0 * np.pi * np.arange(length) / length)


# (n, L, dM, N): L = N and L > N (folding), a time step that is not a power
# of two, and the benchmark's lattice.
LATTICES = [(64, 16, 4, 8), (96, 32, 8, 16), (512, 64, 16, 64), (240, 24, 3, 8), (8192, 1024, 256, 1024)]


def ltfat_phase(L, N, bins):
    return np.exp(-2j * np.pi * bins * (L // 2) / N)


def relative_error(got, want):
    return np.max(np.abs(got - want)) / np.max(np.abs(want))


@pytest.mark.parametrize("n,L,dM,N", LATTICES)
@pytest.mark.parametrize("window", ["random", "hann"])
def test_real_transform_matches_ltfat_dgtreal(lib, n, L, dM, N, window):
    rng = np.random.default_rng(n + L)
    x = rng.uniform(-1.0, 1.0, n)
    g = rng.uniform(-1.0, 1.0, L) if window == "random" else hann(L)
    frames = n // dM
    out = np.zeros(frames * N)
    spec = WindowSpec(pointer(g), L, dM, N)
    assert lib.ReDGT(pointer(x), n, ctypes.byref(spec), pointer(out)) == 0

    hc = out.reshape(frames, N)
    ours = np.zeros((frames, N // 2 + 1), dtype=complex)
    ours.real = hc[:, :N // 2 + 1]
    ours.imag[:, 1:N // 2] = hc[:, N - 1:N // 2:-1]  # Im of bin b sits at N - b

    c = ltfatpy.dgtreal(x, np.roll(g, -(L // 2)), dM, N)[0]
    assert c.shape == (N // 2 + 1, frames)
    want = c.T * ltfat_phase(L, N, np.arange(N // 2 + 1))[None, :]
    assert relative_error(ours, want) < 1e-10


@pytest.mark.parametrize("n,L,dM,N", LATTICES[:4])
def test_complex_transform_matches_ltfat_dgt(lib, n, L, dM, N):
    rng = np.random.default_rng(3 * n + L)
    x = rng.uniform(-1.0, 1.0, n) + 1j * rng.uniform(-1.0, 1.0, n)
    g = rng.uniform(-1.0, 1.0, L)
    frames = n // dM
    interleaved = np.ascontiguousarray(np.column_stack([x.real, x.imag]).ravel())
    out = np.zeros(2 * frames * N)
    spec = WindowSpec(pointer(g), L, dM, N)
    assert lib.CxDGT(pointer(interleaved), n, ctypes.byref(spec), pointer(out)) == 0
    ours = (out[0::2] + 1j * out[1::2]).reshape(frames, N)

    c = ltfatpy.dgt(x, np.roll(g, -(L // 2)).astype(complex), dM, N)[0]
    want = c.T * ltfat_phase(L, N, np.arange(N))[None, :]
    assert relative_error(ours, want) < 1e-10
