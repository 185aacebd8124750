"""The STFT exports through ctypes against numpy.fft and scipy.signal.

numpy: each frame built from the definition (window times frame, samples
j and j + M added, rotated so that sample t lands at (t + shift) mod M) and
transformed with numpy.fft.fft.

scipy: scipy.signal.spectrogram and scipy.signal.stft with the same window
(nperseg = L <= M, nfft = M), hop (noverlap = L - D), detrend=False and no
boundary extension or padding (boundary=None, padded=False; spectrogram
uses those already), which gives the same F = (N - L)//D + 1 frames. What
differs, and how it is aligned:
  - scaling 'spectrum' divides |X|^2 by sum(w)^2, 'density' by
    fs * sum(w^2); the one-sided spectrum doubles every bin but 0 and M/2.
    Varnel divides by M and keeps bins 0..M/2-1 once.
  - scipy.signal.stft divides X by sum(w), and its phase refers to the
    frame start, Varnel's to absolute sample time: X_varnel[k] =
    sum(w) * Z[k] * exp(-2 pi i k (i*D + shift) / M). Magnitudes are
    compared as they are, and complex values after that phase factor.
Tolerances are relative to the largest value of each result.
"""
import ctypes

import numpy as np
import pytest

from varnel import raw

scipy_signal = pytest.importorskip("scipy.signal")

DOUBLE_P = raw.double_p
INT32 = ctypes.c_int32
WindowSpec = raw.WindowSpec


@pytest.fixture(scope="module")
def lib(library):
    return raw


def ptr(a, offset=0):
    return ctypes.cast(a.ctypes.data + 8 * offset, DOUBLE_P)


def make_spec(window, step, m):
    window = np.ascontiguousarray(window, dtype=np.float64)
    spec = WindowSpec(ptr(window), len(window), step, m)
    spec._keep = window  # the struct holds a raw pointer into it
    return spec


def frame_count(n, length, step):
    return (n - length) // step + 1


def numpy_frames(x, window, step, m, shift=0):
    """X_i[k] of the definition: fold, rotate to absolute time, numpy FFT."""
    length = len(window)
    frames = []
    for i in range(frame_count(len(x), length, step)):
        buffer = np.zeros(m, dtype=complex)
        t = i * step + np.arange(length)
        np.add.at(buffer, (t + shift) % m, window * x[t])
        frames.append(np.fft.fft(buffer))
    return np.array(frames)


def real_spectrogram(lib, x, window, step, m):
    frames = frame_count(len(x), len(window), step)
    out = np.full(frames * (m // 2) + 4, -7.0)
    assert lib.ReSTFTsp(ptr(x), len(x), make_spec(window, step, m), ptr(out)) == 0
    assert np.all(out[frames * (m // 2):] == -7.0)
    return out[:frames * (m // 2)].reshape(frames, m // 2)


def complex_stft(lib, z, window, step, m):
    frames = frame_count(len(z), len(window), step)
    x = np.empty(2 * len(z))
    x[0::2], x[1::2] = z.real, z.imag
    out = np.zeros(2 * frames * m)
    assert lib.CxSTFT(ptr(x), len(z), make_spec(window, step, m), ptr(out)) == 0
    return (out[0::2] + 1j * out[1::2]).reshape(frames, m)


def assert_close(got, want, rtol=1e-12):
    np.testing.assert_allclose(got, want, rtol=0, atol=rtol * np.max(np.abs(want)))


rng = np.random.default_rng(2024)

# (M, L, D): L = M, aliasing L > M (also L = 2M), zero fill L < M, D > M.
GRIDS = [(64, 64, 16), (32, 80, 10), (16, 32, 5), (128, 50, 33), (8, 8, 19), (1024, 1024, 256)]


@pytest.mark.parametrize("m,length,step", GRIDS)
def test_real_spectrogram_matches_numpy_frames(lib, m, length, step):
    x = rng.standard_normal(3000)
    window = rng.uniform(0.1, 1.0, length)
    want = np.abs(numpy_frames(x, window, step, m)[:, :m // 2]) ** 2 / m
    assert_close(real_spectrogram(lib, x, window, step, m), want)


@pytest.mark.parametrize("m,length,step", GRIDS)
def test_complex_stft_matches_numpy_frames(lib, m, length, step):
    z = rng.standard_normal(2000) + 1j * rng.standard_normal(2000)
    window = rng.uniform(-1.0, 1.0, length)
    assert_close(complex_stft(lib, z, window, step, m), numpy_frames(z, window, step, m))


@pytest.mark.parametrize("shift", [0, 5, -3, 1000])
def test_complex_stft_with_shift_matches_numpy_frames(lib, shift):
    m, length, step = 32, 48, 7
    z = rng.standard_normal(500) + 1j * rng.standard_normal(500)
    window = rng.uniform(-1.0, 1.0, length)
    frames = frame_count(len(z), length, step)
    re, im = np.ascontiguousarray(z.real), np.ascontiguousarray(z.imag)
    out_re, out_im = np.zeros(frames * m), np.zeros(frames * m)
    s = INT32(shift)
    assert lib.CxSTFTExWithShift(ptr(re), ptr(im), 1, len(z), make_spec(window, step, m), ctypes.byref(s),
                                 ptr(out_re), ptr(out_im), 1) == 0
    assert s.value == shift % m + frames * step
    assert_close((out_re + 1j * out_im).reshape(frames, m), numpy_frames(z, window, step, m, shift))


def test_complex_spectrogram_matches_numpy_frames(lib):
    m, length, step = 64, 100, 24
    z = rng.standard_normal(1500) + 1j * rng.standard_normal(1500)
    window = rng.uniform(0.0, 1.0, length)
    frames = frame_count(len(z), length, step)
    x = np.empty(2 * len(z))
    x[0::2], x[1::2] = z.real, z.imag
    out = np.zeros(frames * m)
    assert lib.CxSTFTsp(ptr(x), len(z), make_spec(window, step, m), ptr(out)) == 0
    assert_close(out.reshape(frames, m), np.abs(numpy_frames(z, window, step, m)) ** 2 / m)


# scipy needs nperseg = L <= nfft = M.
SCIPY_GRIDS = [(256, 256, 64), (128, 100, 30), (64, 64, 64)]


@pytest.mark.parametrize("m,length,step", SCIPY_GRIDS)
@pytest.mark.parametrize("scaling", ["spectrum", "density"])
def test_real_spectrogram_matches_scipy_spectrogram(lib, m, length, step, scaling):
    x = rng.standard_normal(5000)
    window = scipy_signal.get_window("hann", length)
    _, _, s = scipy_signal.spectrogram(x, fs=1.0, window=window, nperseg=length, noverlap=length - step, nfft=m,
                                       detrend=False, return_onesided=True, scaling=scaling, mode="psd")
    norm = np.sum(window) ** 2 if scaling == "spectrum" else np.sum(window ** 2)
    one_sided = np.where(np.arange(m // 2) == 0, 1.0, 2.0)
    want = s[:m // 2, :].T * norm / (one_sided * m)
    assert_close(real_spectrogram(lib, x, window, step, m), want)


@pytest.mark.parametrize("m,length,step", SCIPY_GRIDS)
def test_complex_stft_matches_scipy_stft(lib, m, length, step):
    z = rng.standard_normal(3000) + 1j * rng.standard_normal(3000)
    window = scipy_signal.get_window("hamming", length)
    _, _, zxx = scipy_signal.stft(z, fs=1.0, window=window, nperseg=length, noverlap=length - step, nfft=m,
                                  detrend=False, return_onesided=False, boundary=None, padded=False)
    scipy_frames = zxx.T * np.sum(window)  # frames x bins, phase from the frame start
    got = complex_stft(lib, z, window, step, m)
    assert got.shape == scipy_frames.shape
    assert_close(np.abs(got), np.abs(scipy_frames))
    starts = step * np.arange(got.shape[0])[:, None]
    phase = (np.arange(m)[None, :] * starts) % m  # reduced exactly, before it meets pi
    assert_close(got, scipy_frames * np.exp(-2j * np.pi * phase / m))
