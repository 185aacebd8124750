"""The package against scipy.signal: window names, defaults, scalings and
``Sxx == S.T``; scipy's frame starting at s differs by exp(-2j pi k s / bins)
(phase referred to the frame, ours to absolute time)."""
import numpy as np
import pytest

import varnel
from varnel import linear

from test_package_linear import assert_close

pytestmark = pytest.mark.usefixtures("library")
signal = pytest.importorskip("scipy.signal")

rng = np.random.default_rng(5)
X = rng.standard_normal(5000)


def absolute_phase(frames, bins, starts):
    k = np.arange(frames.shape[-1])[None, :]
    return frames * np.exp(-2j * np.pi * (k * np.asarray(starts)[:, None] % bins) / bins)


@pytest.mark.parametrize("spec", ["hann", "Hamming", "blackman", "boxcar", "rect", ("kaiser", 8), ("tukey", 0.25),
                                  "triang", ("gaussian", 20.0)], ids=str)
@pytest.mark.parametrize("length", [255, 1])
def test_window_names_are_scipys(spec, length):
    name = spec.lower() if isinstance(spec, str) else spec
    for periodic in (True, False):
        np.testing.assert_array_equal(varnel.get_window(spec, length, periodic=periodic),
                                      signal.get_window(name, length, fftbins=periodic))


def test_builtin_windows_without_scipy(monkeypatch):
    cases = [(name, n, p) for name in ("hann", "hamming", "blackman", "rect") for n in (300, 1) for p in (1, 0)]
    want = [signal.get_window(name, n, fftbins=p) for name, n, p in cases]
    monkeypatch.setattr(linear, "_scipy_get_window", lambda: None)
    for (name, n, p), w in zip(cases, want):
        np.testing.assert_allclose(varnel.get_window(name, n, periodic=p), w, rtol=0, atol=1e-15)
    with pytest.raises(ValueError, match="needs scipy"):
        varnel.get_window(("kaiser", 8), 300)


def test_defaults_positional_fs_and_window_arguments():
    explicit = varnel.stft(X, window=signal.get_window("hann", 256), hop=64, bins=256, fs=8000.0)
    for same in (varnel.stft(X, 8000.0), varnel.stft(X, fs=8000.0, window="hann", nperseg=256.0, hop=64.0)):
        np.testing.assert_array_equal(same, explicit)
        np.testing.assert_array_equal(same.times, explicit.times)
    assert explicit.shape == (-(-5000 // 64), 256)  # frames centred on 0, 64, ... < 5000, as scipy's
    assert varnel.spectrogram(X, 1.0, nperseg=300).shape == ((5000 - 300) // 75 + 1, 256)  # no folding
    np.testing.assert_array_equal(varnel.dgt(X, 2.0), varnel.dgt(X, window=varnel.gaussian(256), hop=64, bins=256))
    np.testing.assert_array_equal(varnel.get_window("gaussian"), varnel.gaussian(256))
    with pytest.raises(ValueError, match="has 40 samples but nperseg"):
        varnel.stft(X, window=np.ones(40), nperseg=64)


# (window, nperseg, hop, bins): a spec tuple with a hop not dividing the
# window, an odd length, a window shorter than bins.
@pytest.mark.parametrize("window,nperseg,hop,bins", [(("tukey", 0.25), 100, 30, 128), ("hamming", 255, 64, 256)])
@pytest.mark.parametrize("scaling", ["density", "spectrum", "stft-spectrum", "stft-psd"])
@pytest.mark.parametrize("kind", ["real", "complex"])
def test_scalings_are_scipys(window, nperseg, hop, bins, scaling, kind):
    x = X if kind == "real" else X + 1j * rng.standard_normal(5000)
    grid = dict(window=window, nperseg=nperseg, noverlap=nperseg - hop, nfft=bins, detrend=False)
    ours = dict(window=window, nperseg=nperseg, hop=hop, bins=bins)
    if scaling.startswith("stft-"):
        f, t, zxx = signal.stft(x, 48000.0, return_onesided=kind == "real", boundary=None, padded=False,
                                scaling=scaling[5:], **grid)
        S = varnel.stft(x, 48000.0, onesided=kind == "real", scaling=scaling[5:], boundary=None, **ours)
        assert_close(S, absolute_phase(zxx.T, bins, hop * np.arange(len(t))), 1e-13)
    else:
        with np.testing.suppress_warnings() as quiet:
            quiet.filter(UserWarning)  # scipy's note that a complex signal is two-sided
            f, t, sxx = signal.spectrogram(x, 48000.0, scaling=scaling, **grid)
        S = varnel.spectrogram(x, 48000.0, scaling=scaling, **ours)
        assert_close(S.T, sxx, 1e-13)
    np.testing.assert_allclose(S.times, t, rtol=1e-15)
    np.testing.assert_array_equal(np.abs(S.freqs), np.abs(f))  # scipy's Nyquist bin is -fs/2, ours +fs/2


def test_scipy_default_stft_is_the_zero_boundary():
    # scipy pads nperseg//2 zeros at each end (and the end to whole frames):
    # the frames of boundary="zero" up to the last centre within the signal.
    f, t, zxx = signal.stft(X, fs=8000.0)
    S = varnel.stft(X, 8000.0, window="hann", hop=128, onesided=True, scaling="spectrum", boundary="zero")
    assert len(S) == len(t) - 1 and S.times[-1] <= (len(X) - 1) / 8000.0 < t[-1]
    np.testing.assert_allclose(S.times, t[:-1], rtol=1e-15)
    assert_close(S, absolute_phase(zxx.T[:-1], 256, 128 * np.arange(len(S)) - 128), 1e-13)
    _, back = signal.istft(zxx, fs=8000.0)
    ours = varnel.istft(S, window="hann", hop=128, scaling="spectrum", boundary="zero", length=len(X))
    np.testing.assert_allclose(ours, back[:len(X)], rtol=0, atol=1e-12)
    np.testing.assert_array_equal(varnel.spectrogram(X, 100.0), varnel.spectrogram(X, 100.0, scaling="library"))
