"""Gabor spectrogram, mean instantaneous frequency and frequency centroids
as the numpy layer presents them (the export's values against their closed
form: tests/quadratic). The coefficients' oracle is a direct analysis with
the least-norm Wexler-Raz dual (numpy.linalg.lstsq); the spectrogram is
CxGaborSp of them with the arguments in the header's order.
"""
import numpy as np
import pytest

import varnel
from varnel import raw

pytestmark = pytest.mark.usefixtures("library")

rng = np.random.default_rng(2024)


def wexler_raz_dual(g, hop, bins):
    """Least-norm h: sum over t = r (mod hop) of g[t + k bins] h[t] = delta(k) / hop."""
    rows, rhs = [], []
    for r in range(hop):
        for k in range(-(len(g) // bins) + 1, len(g) // bins):
            t = np.arange(r, len(g), hop)
            t = t[(t + k * bins >= 0) & (t + k * bins < len(g))]
            rows.append(np.zeros(len(g)))
            rows[-1][t] = g[t + k * bins]
            rhs.append(1.0 / hop if k == 0 else 0.0)
    return np.linalg.lstsq(np.array(rows), np.array(rhs), rcond=None)[0]


def direct_coefficients(x, hop, bins, length, a):
    """C[m, n] = sum_j h[j] x~(t) exp(-2j pi n t / bins), t = m*hop - L//2 + j, h the dual of the Gaussian
    of variance a centred on L//2, x~ the zero-padded signal repeated periodically."""
    h = wexler_raz_dual((np.pi * a) ** -0.25 * np.exp(-(np.arange(length) - length // 2) ** 2 / (2 * a)), hop, bins)
    padded = np.pad(np.asarray(x, dtype=complex), (0, -len(x) % hop))
    t = np.arange(len(padded) // hop)[:, None] * hop - length // 2 + np.arange(length)
    kernel = np.exp(-2j * np.pi * np.arange(bins)[None, :, None] * t[:, None, :] / bins)
    return np.einsum("fbl,fl->fb", kernel, h * padded[t % len(padded)])


def export(c, hop, a, low, high, k2, k1, first, count):
    c, out = np.ascontiguousarray(c, dtype=complex), np.full((len(c) * k2, count), np.nan)
    assert raw.CxGaborSp(raw.pointer(c), len(c), c.shape[1], hop, a, low, high, k2, k1, first, count,
                         raw.pointer(out)) == 0
    return out


@pytest.mark.parametrize("kind", ["real", "complex"])
def test_signal_to_coefficients_and_spectrogram(kind):
    # The default window (48 samples, three bin lengths) refers the
    # transform's phases half a window before sample 0: odd bins flip.
    hop, bins, k2, k1, n = 4, 16, 2, 2, 60
    x = rng.standard_normal(n) + (1j * rng.standard_normal(n) if kind == "complex" else 0)
    c = direct_coefficients(x, hop, bins, 48, hop * bins / (2 * np.pi))
    np.testing.assert_allclose(varnel.gabor_coefficients(x, hop=hop, bins=bins), c, rtol=0,
                               atol=1e-10 * np.max(np.abs(c)))
    got = varnel.gabor_spectrogram(x, hop=hop, bins=bins, order=1, refine_time=k2, refine_freq=k1, fs=2.0)
    want = export(c, hop, hop * bins / (2 * np.pi), 0, 1, k2, k1, 0, bins * k1 // (2 if kind == "real" else 1))
    assert got.shape == want.shape
    np.testing.assert_allclose(got, want, rtol=0, atol=1e-9 * np.max(np.abs(want)))
    np.testing.assert_allclose(got.times, np.arange(got.shape[0]) * hop / k2 / 2.0)
    np.testing.assert_allclose(got.freqs[:bins * k1 // 2], np.arange(bins * k1 // 2) * 2.0 / (bins * k1))


@pytest.mark.parametrize("low,high,k2,k1,band", [(1, 3, 1, 2, (3, 12)), (2, 2, 3, 1, (7, 1)), (4, 1, 1, 1, None)])
def test_orders_refinements_and_bands_reach_the_export(low, high, k2, k1, band):
    frames, bins, hop, a = 9, 8, 2, 5.0
    c = rng.standard_normal((frames, bins)) + 1j * rng.standard_normal((frames, bins))
    got = varnel.gabor_sp(c, hop=hop, variance=a, order=high, low_order=low, refine_time=k2, refine_freq=k1,
                          band=band)
    np.testing.assert_array_equal(got, export(c, hop, a, low, high, k2, k1, *(band or (0, bins * k1))))


def test_channels_match_single_calls():
    x = rng.standard_normal((2, 300))
    both = varnel.gabor_spectrogram(x, hop=8, bins=32, order=2, workers=2)
    for k in range(2):
        np.testing.assert_array_equal(both[k], varnel.gabor_spectrogram(x[k], hop=8, bins=32, order=2))
    track = varnel.mean_instantaneous_frequency(x, hop=8, bins=32)
    np.testing.assert_array_equal(track[1], varnel.mean_instantaneous_frequency(x[1], hop=8, bins=32))


@pytest.mark.parametrize("kind,order,k2", [("complex", 0, 1), ("real", 2, 3)])
def test_mean_instantaneous_frequency_of_a_tone(kind, order, k2):
    n, hop, bins, b, fs = 1024, 8, 64, 11, 1000.0
    phase = 2 * np.pi * b * np.arange(n) / bins
    x = np.exp(1j * phase) if kind == "complex" else 3 * np.cos(phase)
    track = varnel.mean_instantaneous_frequency(x, hop=hop, bins=bins, order=order, refine_time=k2, fs=fs)
    assert track.shape == ((n // hop - 1) * k2,)
    np.testing.assert_allclose(track, b * fs / bins, rtol=1e-7)
    np.testing.assert_allclose(track.times, np.arange(len(track)) * hop / k2 / fs)


def test_instantaneous_frequency_in_hz_of_an_fft_ordered_map():
    # A complex signal's map in FFT order is sorted by frequency first; the
    # centroid is then affine in the bin index (valid slices: all, here).
    fs, z = 8000.0, np.exp(-2j * np.pi * 1000.0 * np.arange(2000) / 8000.0) + 0.1
    spec = varnel.gabor_spectrogram(z, hop=16, bins=128, order=0, fs=fs)
    freq, energy = varnel.instantaneous_frequency(spec)
    np.testing.assert_allclose(energy, np.sum(spec, axis=1), rtol=1e-12)
    np.testing.assert_allclose(freq, np.sum(spec * spec.freqs, axis=1) / energy, rtol=0, atol=1e-9 * fs)
    np.testing.assert_array_equal(freq.times, spec.times)
    in_bins, _ = varnel.instantaneous_frequency(spec, in_bins=True)
    np.testing.assert_allclose(in_bins, np.sum(spec * np.arange(128), axis=1) / energy, rtol=1e-12)
    with pytest.raises(ValueError, match="not evenly spaced"):
        varnel.instantaneous_frequency(varnel.TFArray(np.ones((2, 3)), [0.0, 1.0], [0.0, 1.0, 3.0]))


@pytest.mark.parametrize("options,phrase", [
    (dict(hop=6, bins=64), "hop to be a power of two"), (dict(bins=48), "not a power of two"),
    (dict(hop=64), "hop <= bins"), (dict(order=-1), "order"), (dict(variance=0), "variance"),
    (dict(refine_time=0), "refine_time"), (dict(band=(30, 5)), "band"), (dict(window_length=40), "multiple of bins")])
def test_argument_errors(options, phrase):
    with pytest.raises(ValueError, match=phrase):
        varnel.gabor_spectrogram(np.ones(100), **dict(dict(hop=8, bins=32), **options))
    with pytest.raises(TypeError, match="must be real"):
        varnel.instantaneous_frequency(np.ones((3, 4), dtype=complex))
