"""What a scipy.signal user expects of the package, checked against scipy:
window names and spec tuples (``get_window``), the defaults of ``stft`` and
``spectrogram`` (a periodic Hann of 256 samples, hop 64, 256 bins, fs as
the second positional argument), the 'density' and 'spectrum' scalings of
the spectrogram and the 'spectrum' and 'psd' scalings of the STFT on the
same frames, and the orientation ``Sxx == S.T``.

scipy's spectrogram has the library's frames (full frames, centres at
``(i*hop + L/2) / fs``) when ``detrend=False``; scipy's stft has them with
``boundary=None, padded=False``, and with its defaults (zero padding of
nperseg//2 at each end) those of ``boundary="zero"``. scipy refers each
frame's phase to the frame's first sample, the library to absolute sample
time: the factor ``exp(-2j pi k s / bins)`` for a frame starting at s.
"""
import numpy as np
import pytest

import varnel
from varnel import linear

pytestmark = pytest.mark.usefixtures("library")
signal = pytest.importorskip("scipy.signal")

rng = np.random.default_rng(5)
X = rng.standard_normal(5000)
Z = X + 1j * rng.standard_normal(5000)


def relative(got, want):
    got, want = np.asarray(got), np.asarray(want)
    assert got.shape == want.shape
    return np.max(np.abs(got - want)) / np.max(np.abs(want))


def absolute_phase(frames, bins, starts):
    # Multiplies scipy's frame-referred bins into the library's absolute ones.
    k = np.arange(frames.shape[-1])[None, :]
    return frames * np.exp(-2j * np.pi * (k * np.asarray(starts)[:, None] % bins) / bins)


SPECS = ["hann", "hamming", "blackman", "boxcar", "rect", "Hann", ("kaiser", 8), ("tukey", 0.25), "triang",
         ("gaussian", 20.0)]


@pytest.mark.parametrize("spec", SPECS, ids=str)
@pytest.mark.parametrize("length", [200, 255, 1])
def test_window_names_are_scipys_periodic_windows(spec, length):
    want = signal.get_window(spec.lower() if isinstance(spec, str) else spec, length)
    if not np.any(want):
        with pytest.raises(varnel.ArgumentError, match="zero everywhere"):
            varnel.get_window(spec, length)
        return
    np.testing.assert_array_equal(varnel.get_window(spec, length), want)
    symmetric = signal.get_window(spec.lower() if isinstance(spec, str) else spec, length, fftbins=False)
    np.testing.assert_array_equal(varnel.get_window(spec, length, periodic=False), symmetric)


@pytest.mark.parametrize("name", ["hann", "hamming", "blackman", "boxcar", "rect", "ham", "ones"])
@pytest.mark.parametrize("periodic", [True, False])
def test_builtin_windows_without_scipy_match_scipy(monkeypatch, name, periodic):
    want = signal.get_window(name, 300, fftbins=periodic)
    monkeypatch.setattr(linear, "_scipy_get_window", lambda: None)
    np.testing.assert_allclose(varnel.get_window(name, 300, periodic=periodic), want, rtol=0, atol=1e-15)
    with pytest.raises(ValueError, match="needs scipy"):
        varnel.get_window(("kaiser", 8), 300)


def test_gaussian_name_and_arrays():
    np.testing.assert_array_equal(varnel.get_window("gaussian", 128), varnel.gaussian(128))
    np.testing.assert_array_equal(varnel.get_window("gaussian"), varnel.gaussian(256))
    w = rng.uniform(0.1, 1, 40)
    np.testing.assert_array_equal(varnel.get_window(w), w)
    with pytest.raises(ValueError, match="has 40 samples but nperseg"):
        varnel.stft(X, window=w, nperseg=64)
    with pytest.raises(ValueError, match="no-such-window"):
        varnel.get_window("no-such-window", 64)


def test_defaults_and_positional_fs():
    hann = signal.get_window("hann", 256)
    explicit = varnel.stft(X, window=hann, hop=64, bins=256, fs=8000.0)
    for default in (varnel.stft(X, 8000.0), varnel.stft(X, fs=8000.0), varnel.stft(X, 8000.0, window="hann"),
                    varnel.stft(X, 8000.0, nperseg=256, hop=64.0, bins=256.0)):
        np.testing.assert_array_equal(default, explicit)
        np.testing.assert_array_equal(default.times, explicit.times)
    assert explicit.shape == ((5000 - 256) // 64 + 1, 256)
    # bins: the next power of two at or above the window, so no folding.
    assert varnel.spectrogram(X, 1.0, nperseg=300).shape == ((5000 - 300) // 75 + 1, 256)
    assert varnel.stft(X, window="hamming", nperseg=100).shape[-1] == 128
    np.testing.assert_array_equal(varnel.spectrogram(X, 2.0), varnel.spectrogram(X, window=hann, hop=64, bins=256))
    np.testing.assert_array_equal(varnel.dgt(X, 2.0), varnel.dgt(X, window=varnel.gaussian(256), hop=64, bins=256))


# (window, nperseg, hop, bins): scipy's defaults for stft (hann, hop 64),
# a spec tuple, an odd length, a window shorter than bins.
GRIDS = [("hann", 256, 64, 256), (("tukey", 0.25), 100, 30, 128), ("hamming", 255, 64, 256), ("blackman", 64, 16, 256)]


@pytest.mark.parametrize("window,nperseg,hop,bins", GRIDS)
@pytest.mark.parametrize("scaling", ["density", "spectrum"])
@pytest.mark.parametrize("kind", ["real", "complex"])
def test_spectrogram_scalings_are_scipys(window, nperseg, hop, bins, scaling, kind):
    x = X if kind == "real" else Z
    with np.testing.suppress_warnings() as quiet:
        quiet.filter(UserWarning)  # scipy's note that a complex signal is two-sided
        f, t, sxx = signal.spectrogram(x, fs=48000.0, window=window, nperseg=nperseg, noverlap=nperseg - hop,
                                       nfft=bins, detrend=False, scaling=scaling)
    S = varnel.spectrogram(x, 48000.0, window=window, nperseg=nperseg, hop=hop, bins=bins, scaling=scaling)
    assert relative(S.T, sxx) < 1e-13
    np.testing.assert_allclose(S.times, t, rtol=1e-15)
    if kind == "real":
        np.testing.assert_array_equal(S.freqs, f)
    else:  # scipy calls the Nyquist bin -fs/2, the package +fs/2
        np.testing.assert_array_equal(np.abs(S.freqs), np.abs(f))


def test_library_scaling_stays_the_default():
    S = varnel.spectrogram(X, 100.0)
    np.testing.assert_array_equal(S, varnel.spectrogram(X, 100.0, scaling="library"))
    assert S.shape[-1] == 128  # bins 0 .. bins/2 - 1
    X_ = varnel.stft(X, 100.0)
    np.testing.assert_allclose(S, np.abs(np.asarray(X_)[:, :128]) ** 2 / 256, rtol=1e-12)
    with pytest.raises(ValueError, match="scaling='psd' is not one of"):
        varnel.spectrogram(X, scaling="psd")


@pytest.mark.parametrize("window,nperseg,hop,bins", GRIDS)
@pytest.mark.parametrize("scaling", ["spectrum", "psd"])
@pytest.mark.parametrize("kind", ["real", "complex"])
def test_stft_scalings_are_scipys(window, nperseg, hop, bins, scaling, kind):
    x = X if kind == "real" else Z
    f, t, zxx = signal.stft(x, fs=1000.0, window=window, nperseg=nperseg, noverlap=nperseg - hop, nfft=bins,
                            detrend=False, return_onesided=kind == "real", boundary=None, padded=False,
                            scaling=scaling)
    S = varnel.stft(x, 1000.0, window=window, nperseg=nperseg, hop=hop, bins=bins, onesided=kind == "real",
                    scaling=scaling)
    assert relative(S, absolute_phase(zxx.T, bins, hop * np.arange(len(t)))) < 1e-13
    np.testing.assert_allclose(S.times, t, rtol=1e-15)


def test_scipy_default_stft_is_the_zero_boundary():
    # scipy pads nperseg//2 zeros at each end (and the end to whole frames);
    # boundary="zero" has the same frames up to the last centre within the
    # signal, the same times, and istft undoes both.
    f, t, zxx = signal.stft(X, fs=8000.0)
    S = varnel.stft(X, 8000.0, window="hann", hop=128, onesided=True, scaling="spectrum", boundary="zero")
    frames = len(S)
    assert frames == len(t) - 1 and S.times[-1] <= (len(X) - 1) / 8000.0 < t[-1]
    np.testing.assert_allclose(S.times, t[:frames], rtol=1e-15)
    assert relative(S, absolute_phase(zxx.T[:frames], 256, 128 * np.arange(frames) - 128)) < 1e-13
    _, back = signal.istft(zxx, fs=8000.0)
    ours = varnel.istft(S, window="hann", hop=128, scaling="spectrum", boundary="zero", length=len(X))
    np.testing.assert_allclose(ours, back[:len(X)], rtol=0, atol=1e-12)


def test_orientation_of_results():
    f, t, sxx = signal.spectrogram(X, fs=10.0, window="hann", nperseg=256, noverlap=192, detrend=False,
                                   scaling="spectrum")
    S = varnel.spectrogram(X, 10.0, scaling="spectrum")
    assert S.shape == sxx.T.shape == (len(S.times), len(S.freqs)) == (len(t), len(f))
