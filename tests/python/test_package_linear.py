"""The numpy layer's linear transforms against independent references.

- STFT: each frame built from the definition in numpy (window times the
  frame, positions j and j + bins added, phase referred to absolute sample
  time), transformed with numpy.fft.fft; and scipy.signal.stft/spectrogram
  with the same window and hop (the scaling and phase mapping are spelled
  out where they are used).
- Gabor transform: ltfatpy.dgtreal/dgt with LTFAT's window placement and
  phase convention mapped to ours; the dual window against ltfatpy.gabdual;
  dgt -> dge round trips for real and complex signals of several lengths.
- Gaussian window and extension rules against their closed forms.
Tolerances are relative to the largest value of each reference.
"""
import numpy as np
import pytest

import varnel

pytestmark = pytest.mark.usefixtures("library")

rng = np.random.default_rng(20240611)


def assert_close(got, want, rtol=1e-11):
    got, want = np.asarray(got), np.asarray(want)
    assert got.shape == want.shape
    np.testing.assert_allclose(got, want, rtol=0, atol=rtol * max(np.max(np.abs(want)), 1e-300))


def reference_stft(x, window, hop, bins, start=0):
    length = len(window)
    frames = (len(x) - length) // hop + 1
    out = np.empty((frames, bins), dtype=complex)
    for i in range(frames):
        buffer = np.zeros(bins, dtype=complex)
        t = i * hop + np.arange(length)
        np.add.at(buffer, (t + start) % bins, window * x[t])
        out[i] = np.fft.fft(buffer)
    return out


# (bins, window length, hop): equal, folded (window longer than bins),
# zero-filled (shorter), hop above bins, one bin.
GRIDS = [(64, 64, 16), (32, 80, 10), (128, 50, 33), (8, 8, 19), (1, 4, 3)]


@pytest.mark.parametrize("bins,length,hop", GRIDS)
@pytest.mark.parametrize("kind", ["real", "complex"])
def test_stft_and_spectrogram_match_numpy_frames(bins, length, hop, kind):
    x = rng.standard_normal(700)
    if kind == "complex":
        x = x + 1j * rng.standard_normal(700)
    window = rng.uniform(0.1, 1.0, length)
    got = varnel.stft(x, window=window, hop=hop, bins=bins, fs=100.0)
    want = reference_stft(x, window, hop, bins)
    assert got.dtype == np.complex128
    assert_close(got, want)
    assert_close(got.times, (np.arange(len(want)) * hop + length / 2) / 100.0)
    assert_close(got.freqs, np.fft.fftfreq(bins, 1 / 100.0) * np.where(np.arange(bins) == bins // 2, -1, 1))
    power = varnel.spectrogram(x, window=window, hop=hop, bins=bins, fs=100.0)
    kept = max(bins // 2, 1) if kind == "real" else bins
    assert_close(power, np.abs(want[:, :kept]) ** 2 / bins)
    if kind == "real":
        assert_close(power.freqs, np.arange(kept) * 100.0 / bins)
        half = varnel.stft(x, window=window, hop=hop, bins=bins, onesided=True)
        assert_close(half, want[:, :bins // 2 + 1])


@pytest.mark.parametrize("kind", ["real", "complex"])
@pytest.mark.parametrize("start", [0, 7, 1000, 2 ** 40 + 3])
def test_stft_start_continues_phase_and_time(kind, start):
    x = rng.standard_normal(400) + (1j * rng.standard_normal(400) if kind == "complex" else 0)
    window = np.hanning(48)
    got = varnel.stft(x, window=window, hop=12, bins=32, start=start, fs=8.0)
    assert_close(got, reference_stft(x, window, 12, 32, start=start % 32))
    assert got.times[0] == pytest.approx((start + 24) / 8.0)


@pytest.fixture(scope="module")
def scipy_signal():
    return pytest.importorskip("scipy.signal")


@pytest.fixture(scope="module")
def ltfatpy():
    return pytest.importorskip("ltfatpy")


@pytest.mark.parametrize("bins,length,hop", [(256, 256, 64), (128, 100, 30)])
def test_spectrogram_matches_scipy(scipy_signal, bins, length, hop):
    # scipy 'spectrum' scaling divides |X|^2 by sum(w)^2 and doubles the
    # one-sided bins above 0; we divide by bins and keep bins 0..bins/2-1.
    # Frame times are the same: (i*hop + L/2) / fs.
    fs = 48000.0
    x = rng.standard_normal(5000)
    window = scipy_signal.get_window("hann", length)
    f, t, s = scipy_signal.spectrogram(x, fs=fs, window=window, nperseg=length, noverlap=length - hop,
                                       nfft=bins, detrend=False, scaling="spectrum", mode="psd")
    ours = varnel.spectrogram(x, window=window, hop=hop, bins=bins, fs=fs)
    doubled = np.where(np.arange(bins // 2) == 0, 1.0, 2.0)
    assert_close(ours, s[:bins // 2].T * np.sum(window) ** 2 / (doubled * bins))
    assert_close(ours.times, t)
    assert_close(ours.freqs, f[:bins // 2])


def test_stft_matches_scipy(scipy_signal):
    # scipy.signal.stft divides by sum(w) and refers the phase to each
    # frame's start; ours is unscaled and refers it to absolute time.
    x = rng.standard_normal(3000)
    window = scipy_signal.get_window("hamming", 128)
    f, t, zxx = scipy_signal.stft(x, fs=1000.0, window=window, nperseg=128, noverlap=96, nfft=256,
                                  detrend=False, return_onesided=True, boundary=None, padded=False)
    ours = varnel.stft(x, window=window, hop=32, bins=256, fs=1000.0, onesided=True)
    starts = 32 * np.arange(ours.shape[0])[:, None]
    phase = (np.arange(129)[None, :] * starts) % 256
    assert_close(ours, zxx.T * np.sum(window) * np.exp(-2j * np.pi * phase / 256))
    assert_close(ours.times, t)
    assert_close(ours.freqs, f)


def ltfat_phase(length, bins, b):
    # LTFAT's 'freqinv' phase refers to time 0, ours to sample -L/2.
    return np.exp(-2j * np.pi * b * (length // 2) / bins)


# Folding (L > N), a time step that is not a power of two, and a long lattice.
@pytest.mark.parametrize("n,length,hop,bins", [(64, 16, 4, 8), (96, 32, 8, 16), (512, 64, 16, 64), (240, 24, 3, 8),
                                               (8192, 1024, 256, 1024)])
@pytest.mark.parametrize("window", ["random", "hann"])
def test_dgt_matches_ltfat(ltfatpy, n, length, hop, bins, window):
    x = rng.standard_normal(n)
    g = rng.uniform(-1.0, 1.0, length) if window == "random" else 0.5 - 0.5 * np.cos(2 * np.pi * np.arange(length) / length)
    # LTFAT takes the window centred on index 0: ours rotated by L/2.
    ltfat_window = np.roll(g, -(length // 2))
    got = varnel.dgt(x, window=g, hop=hop, bins=bins, dual=False, fs=2.0)
    c = ltfatpy.dgtreal(x, ltfat_window, hop, bins)[0]
    assert got.shape == (n // hop, bins // 2 + 1)
    assert_close(got, c.T * ltfat_phase(length, bins, np.arange(bins // 2 + 1)))
    assert_close(got.times, np.arange(n // hop) * hop / 2.0)
    z = x + 1j * rng.standard_normal(n)
    got = varnel.dgt(z, window=g, hop=hop, bins=bins, dual=False)
    c = ltfatpy.dgt(z, ltfat_window.astype(complex), hop, bins)[0]
    assert_close(got, c.T * ltfat_phase(length, bins, np.arange(bins)))


@pytest.mark.parametrize("length,hop,bins", [(16, 4, 8), (64, 8, 16), (96, 12, 32), (48, 6, 16), (128, 16, 64),
                                             (64, 16, 16), (32, 1, 4), (256, 64, 256)])
@pytest.mark.parametrize("window", ["gaussian", "centred", "random"])
def test_periodic_dual_is_scaled_ltfat_gabdual(ltfatpy, length, hop, bins, window):
    # The canonical dual commutes with circular shifts: LTFAT's centred
    # placement gives the same samples index by index.
    g = {"gaussian": varnel.gaussian(length), "centred": np.roll(varnel.gaussian(length), -(length // 2)),
         "random": rng.uniform(0.5, 1.5, length)}[window]
    want = (bins / hop) * ltfatpy.gabdual(g, hop, bins, length)
    assert_close(varnel.dual_window(g, hop, bins, periodic=True), want, rtol=1e-10)


@pytest.mark.parametrize("n", [400, 403, 64, 1000])
@pytest.mark.parametrize("kind", ["real", "complex"])
@pytest.mark.parametrize("window", ["gaussian", "hann"])
def test_dgt_dge_round_trip(n, kind, window):
    length, hop, bins = 64, 16, 32
    g = varnel.gaussian(length) if window == "gaussian" else np.hanning(length)
    x = rng.standard_normal(n) + (1j * rng.standard_normal(n) if kind == "complex" else 0)
    c = varnel.dgt(x, window=g, hop=hop, bins=bins)
    assert c.shape == (-(-n // hop), bins // 2 + 1 if kind == "real" else bins)
    y = varnel.dge(c, window=g, hop=hop, bins=bins, length=n)
    assert y.dtype == (np.float64 if kind == "real" else np.complex128)
    assert_close(y, x, rtol=1e-10)
    padded = varnel.dge(c, window=g, hop=hop, bins=bins)
    assert len(padded) == len(c) * hop


@pytest.mark.parametrize("bins", [1, 2])
def test_dge_with_bins_where_shapes_coincide(bins):
    # With one or two bins a real signal's coefficients are (frames, bins)
    # too; real= says which expansion is meant.
    g = np.ones(bins) + 0.5 * np.arange(bins)
    x = rng.standard_normal(12)
    c = varnel.dgt(x, window=g, hop=1, bins=bins)
    assert_close(varnel.dge(c, window=g, hop=1, bins=bins, length=12), x, rtol=1e-10)
    z = x + 1j * rng.standard_normal(12)
    c = varnel.dgt(z, window=g, hop=1, bins=bins)
    assert_close(varnel.dge(c, window=g, hop=1, bins=bins, length=12, real=False), z, rtol=1e-10)


@pytest.mark.parametrize("length,variance,centre", [(64, None, None), (33, 20.0, 10.5), (1, 1.0, 0.0)])
def test_gaussian_closed_form(length, variance, centre):
    v = (length / 8) ** 2 if variance is None else variance
    c = length / 2 if centre is None else centre
    want = (np.pi * v) ** -0.25 * np.exp(-(c - np.arange(length)) ** 2 / (2 * v))
    assert_close(varnel.gaussian(length, variance=variance, centre=centre), want, rtol=1e-14)


@pytest.mark.parametrize("mode,pad", [("zero", "constant"), ("symmetric", "symmetric"), ("periodic", "wrap")])
@pytest.mark.parametrize("kind", ["real", "complex"])
def test_extension_rules_match_numpy_pad(mode, pad, kind):
    x = rng.standard_normal(10) + (1j * rng.standard_normal(10) if kind == "complex" else 0)
    assert_close(varnel.extend(x, 4, mode), np.pad(x, 4, mode=pad), rtol=1e-15)


@pytest.mark.parametrize("mode,degree", [("linear", 1), ("quadratic", 2)])
def test_polynomial_extensions_continue_the_end_samples(mode, degree):
    x = rng.standard_normal(12)
    m = 5
    got = varnel.extend(x, m, mode)
    # The polynomial through the degree + 1 samples at each end.
    ends = np.arange(degree + 1)
    left = np.polyval(np.polyfit(ends, x[:degree + 1], degree), np.arange(-m, 0))
    right = np.polyval(np.polyfit(ends, x[-degree - 1:], degree), degree + 1 + np.arange(m))
    assert_close(got, np.concatenate([left, x, right]), rtol=1e-10)


@pytest.mark.parametrize("function,kwargs", [
    (varnel.stft, {}), (varnel.spectrogram, {}), (varnel.dgt, {}), (varnel.stft, {"onesided": True})])
@pytest.mark.parametrize("workers", [None, 2])
def test_channels_are_processed_one_by_one(function, kwargs, workers):
    x = rng.standard_normal((3, 900))
    grid = dict(window=varnel.gaussian(64), hop=16, bins=64, fs=8000.0)
    many = function(x, workers=workers, **grid, **kwargs)
    assert many.shape[0] == 3
    for channel in range(3):
        one = function(x[channel], **grid, **kwargs)
        np.testing.assert_array_equal(many[channel], one)
        assert_close(many[channel].times, one.times)
    c = varnel.dgt(x, **grid)
    y = varnel.dge(c, window=grid["window"], hop=16, bins=64, length=900, workers=workers)
    assert_close(y, x, rtol=1e-10)


def test_result_axes_follow_numpy_operations():
    x = rng.standard_normal(3000)
    S = varnel.stft(x, window=np.hanning(256), hop=64, bins=256, fs=1000.0, onesided=True)
    level = 20 * np.log10(np.abs(S) + 1e-300)
    assert isinstance(level, varnel.TFArray) and level.times is S.times and level.freqs is S.freqs
    part = S[2:10:2, 5:]
    assert_close(part.times, S.times[2:10:2])
    assert_close(part.freqs, S.freqs[5:])
    assert_close(S[..., ::-1].freqs, S.freqs[::-1])
    for plain in (S[3], S[:, 7], np.sum(np.abs(S), axis=0), S[[1, 2]], np.asarray(S)):
        assert type(plain) is np.ndarray
    assert np.isscalar(np.max(np.abs(S)))
