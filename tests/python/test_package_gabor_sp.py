"""Gabor spectrogram, mean instantaneous frequency and frequency centroids
against numpy. The spectrogram's oracle is its closed form: for
coefficients C[m, n] on Gaussian atoms of variance a, S0 = 2 hop^2 / (N^3 K1)
times the sum over atom pairs of C_p conj(C_q) times the two Gaussians'
cross Wigner-Ville distribution,
exp(-(t - tm)^2 / a - a (w - wm)^2) exp(1j (w_p - w_q) t) exp(1j (wm - w)(t_p - t_q)),
wrapped on both circular axes; the coefficients from a direct analysis
with the least-norm Wexler-Raz dual (numpy.linalg.lstsq).
"""
import math

import numpy as np
import pytest

import varnel

pytestmark = pytest.mark.usefixtures("library")

rng = np.random.default_rng(2024)


def gaussian_window(length, a):
    j = np.arange(length)
    return (np.pi * a) ** -0.25 * np.exp(-(j - length // 2) ** 2 / (2 * a))


def wexler_raz_dual(g, hop, bins):
    """Least-norm h: sum over t = r (mod hop) of g[t + k bins] h[t] = delta(k) / hop."""
    length = len(g)
    rows, rhs = [], []
    for r in range(hop):
        for k in range(-(length // bins) + 1, length // bins):
            row = np.zeros(length)
            for t in range(r, length, hop):
                if 0 <= t + k * bins < length:
                    row[t] = g[t + k * bins]
            rows.append(row)
            rhs.append(1.0 / hop if k == 0 else 0.0)
    return np.linalg.lstsq(np.array(rows), np.array(rhs), rcond=None)[0]


def direct_coefficients(x, h, hop, bins):
    """C[m, n] = sum_j h[j] x~(t) exp(-2j pi n t / bins), t = m*hop - L//2 + j,
    x~ the zero-padded signal repeated periodically."""
    padded = np.pad(np.asarray(x, dtype=complex), (0, -len(x) % hop))
    t = np.arange(len(padded) // hop)[:, None] * hop - len(h) // 2 + np.arange(len(h))
    kernel = np.exp(-2j * np.pi * np.arange(bins)[None, :, None] * t[:, None, :] / bins)
    return np.einsum("fbl,fl->fb", kernel, h * padded[t % len(padded)])


def closed_form(c, hop, a, low, high, k2, k1):
    """The spectrogram of the band low..high on the fine grid, all bins."""
    frames, bins = c.shape
    nt = 1 << (math.ceil(6.3 * math.sqrt(a) / hop) + frames - 1).bit_length()
    t = (np.arange(frames * k2) * hop / k2)[:, None]
    w = (2 * np.pi * np.arange(bins * k1) / (bins * k1))[None, :]
    low, high = max(low, 0), max(low, min(high, frames - 1, bins - 1))
    total = np.zeros((frames * k2, bins * k1))
    # One of each pair of opposite offsets, doubled through the real part;
    # the zero offset (|C|^2 blobs) once.
    offsets = [(dm, dn) for dm in range(high + 1) for dn in range(-high, high + 1)
               if low <= dm + abs(dn) <= high and (dm > 0 or dn >= 0)]
    nq = np.arange(bins)[:, None, None]
    wrap_t = (np.arange(-1, 2) * nt * hop)[:, None, None, None]
    wrap_w = (2 * np.pi * np.arange(-1, 2))[:, None, None, None]
    for dm, dn in offsets:
        weight = 1.0 if (dm, dn) == (0, 0) else 2.0
        for mq in range(frames - dm):
            mp = mq + dm
            amplitude = c[mp, (nq + dn) % bins] * np.conj(c[mq, nq])
            tp, tq = mp * hop, mq * hop
            wp, wq = 2 * np.pi * (nq + dn) / bins, 2 * np.pi * nq / bins
            tm, wm = (tp + tq) / 2, (wp + wq) / 2
            # The cross distribution is a product of a time and a frequency
            # factor, so each is summed over the wraps of its own axis.
            tt, ww = t + wrap_t, w + wrap_w
            along_t = (np.exp(-(tt - tm) ** 2 / a) * np.exp(1j * (wp - wq) * tt)).sum(axis=0)
            along_w = (np.exp(-a * (ww - wm) ** 2) * np.exp(1j * (wm - ww) * (tp - tq))).sum(axis=0)
            total += weight * np.real(amplitude * along_t * along_w).sum(axis=0)
    return 2 * hop ** 2 / (bins ** 3 * k1) * total


def relative_error(got, want):
    return np.max(np.abs(np.asarray(got) - want)) / np.max(np.abs(want))


@pytest.mark.parametrize("kind", ["real", "complex"])
def test_order_zero_of_a_signal_matches_the_closed_form(kind):
    hop, bins, k2, k1, n = 4, 16, 2, 2, 60
    x = rng.standard_normal(n) + (1j * rng.standard_normal(n) if kind == "complex" else 0)
    a = hop * bins / (2 * np.pi)
    length = len(varnel.gabor_window(hop, bins))
    h = wexler_raz_dual(gaussian_window(length, a), hop, bins)
    c = direct_coefficients(x, h, hop, bins)
    got = varnel.gabor_spectrogram(x, hop=hop, bins=bins, order=0, refine_time=k2, refine_freq=k1, fs=2.0)
    want = closed_form(c, hop, a, 0, 0, k2, k1)[:, :bins * k1 // 2 if kind == "real" else None]
    assert got.shape == want.shape
    assert relative_error(got, want) < 1e-9
    assert np.min(got) > -1e-12 * np.max(got)
    np.testing.assert_allclose(got.times, np.arange(got.shape[0]) * hop / k2 / 2.0)
    np.testing.assert_allclose(got.freqs[:bins * k1 // 2], np.arange(bins * k1 // 2) * 2.0 / (bins * k1))
    np.testing.assert_allclose(varnel.gabor_coefficients(x, hop=hop, bins=bins), c, rtol=0,
                               atol=1e-10 * np.max(np.abs(c)))


@pytest.mark.parametrize("low,high,k2,k1,band", [
    (0, 0, 1, 1, None),
    (0, 2, 2, 1, None),
    (1, 3, 1, 2, (3, 12)),
    (2, 2, 3, 1, (7, 1)),        # the last fine bin alone
    (4, 1, 1, 1, None),        # a low order above the high one keeps that single order
    (0, 50, 1, 1, None),       # the high order is limited to min(frames, bins) - 1
])
def test_order_bands_match_the_closed_form(low, high, k2, k1, band):
    frames, bins, hop, a = 9, 8, 2, 5.0
    c = rng.standard_normal((frames, bins)) + 1j * rng.standard_normal((frames, bins))
    got = varnel.gabor_sp(c, hop=hop, variance=a, order=high, low_order=low, refine_time=k2, refine_freq=k1,
                          band=band)
    want = closed_form(c, hop, a, low, high, k2, k1)[:, slice(band[0], band[0] + band[1]) if band else slice(None)]
    assert got.shape == want.shape
    assert relative_error(got, want) < 1e-9


def test_phases_are_referred_to_absolute_time():
    # With a window of an odd number of bin lengths, the transform's own
    # phase reference (half a window before sample 0) flips the sign of every
    # odd bin; the odd frequency offsets of order 1 and up then change sign.
    hop, bins = 4, 16
    x = np.exp(1j * 0.02 * np.arange(72) ** 2) * (1 + 0.3 * rng.standard_normal(72))
    a = hop * bins / (2 * np.pi)
    h = wexler_raz_dual(gaussian_window(3 * bins, a), hop, bins)
    c = direct_coefficients(x, h, hop, bins)
    got = varnel.gabor_spectrogram(x, hop=hop, bins=bins, order=3, window_length=3 * bins)
    want = closed_form(c, hop, a, 0, 3, 1, 1)
    assert relative_error(got, want) < 1e-9
    shifted = c * (-1.0) ** np.arange(bins)
    assert relative_error(closed_form(shifted, hop, a, 0, 3, 1, 1), want) > 0.1


def test_higher_orders_sharpen_a_chirp_towards_the_wigner_ville_distribution():
    n, hop, bins = 1024, 8, 64
    t = np.arange(n)
    x = np.cos(2 * np.pi * (0.08 * t + 0.15 * t ** 2 / n))
    wvd = np.asarray(varnel.wvd(x, bins=bins, hop=hop))

    maps = [np.asarray(varnel.gabor_spectrogram(x, hop=hop, bins=bins, order=d)) for d in (0, 1, 2, 4, 6)]
    sharpness = [np.sum(s ** 2) / np.sum(s) ** 2 for s in maps]
    likeness = [np.corrcoef(s.ravel(), wvd.ravel())[0, 1] for s in maps]
    assert np.all(np.diff(sharpness) > 0) and sharpness[-1] > 3 * sharpness[0]
    assert np.all(np.diff(likeness) > 0) and likeness[-1] > 0.85


def test_channels_match_single_calls():
    x = rng.standard_normal((2, 300))
    both = varnel.gabor_spectrogram(x, hop=8, bins=32, order=2, workers=2)
    for k in range(2):
        np.testing.assert_array_equal(both[k], varnel.gabor_spectrogram(x[k], hop=8, bins=32, order=2))
    track = varnel.mean_instantaneous_frequency(x, hop=8, bins=32)
    np.testing.assert_array_equal(track[1], varnel.mean_instantaneous_frequency(x[1], hop=8, bins=32))


@pytest.mark.parametrize("kind", ["complex", "real"])
@pytest.mark.parametrize("order,k2", [(0, 1), (2, 3), (4, 2)])
def test_mean_instantaneous_frequency_of_a_tone(kind, order, k2):
    n, hop, bins, b, fs = 1024, 8, 64, 11, 1000.0
    phase = 2 * np.pi * b * np.arange(n) / bins
    x = np.exp(1j * phase) if kind == "complex" else 3 * np.cos(phase)
    track = varnel.mean_instantaneous_frequency(x, hop=hop, bins=bins, order=order, refine_time=k2, fs=fs)
    assert track.shape == ((n // hop - 1) * k2,)
    np.testing.assert_allclose(track, b * fs / bins, rtol=1e-7)
    np.testing.assert_allclose(track.times, np.arange(len(track)) * hop / k2 / fs)


def centroid_reference(s):
    """Centroids in bins, invalid ones (not in (0, F-1]) bridged by
    numpy.interp, anchored at 0 one slice before the start and after the end."""
    energy = s.sum(axis=1)
    with np.errstate(divide="ignore", invalid="ignore"):
        centroid = (s * np.arange(s.shape[1])).sum(axis=1) / energy
    valid = (centroid > 0) & (centroid <= s.shape[1] - 1)
    index = np.arange(len(s))
    xs = np.concatenate(([-1], index[valid], [len(s)]))
    ys = np.concatenate(([0.0], centroid[valid], [0.0]))
    return np.interp(index, xs, ys), energy


def test_instantaneous_frequency_in_hz_of_spectrogram_and_fft_ordered_maps():
    fs, bins = 8000.0, 128
    x = np.cos(2 * np.pi * 1000.0 * np.arange(4000) / fs)
    s = varnel.gabor_spectrogram(x, hop=16, bins=bins, order=2, fs=fs)
    freq, energy = varnel.instantaneous_frequency(s)
    want, want_energy = centroid_reference(np.asarray(s))
    np.testing.assert_allclose(freq, want * fs / bins, rtol=0, atol=1e-9 * fs)
    np.testing.assert_allclose(energy, want_energy, rtol=1e-12)
    np.testing.assert_array_equal(freq.times, s.times)
    middle = slice(len(freq) // 4, -len(freq) // 4)
    np.testing.assert_allclose(freq[middle], 1000.0, rtol=1e-3)
    # A complex signal's map in FFT order is sorted by frequency first.
    z = np.exp(-2j * np.pi * 1000.0 * np.arange(2000) / fs)
    spec = varnel.gabor_spectrogram(z, hop=16, bins=bins, order=1, fs=fs)
    order = np.argsort(spec.freqs)
    want, _ = centroid_reference(np.asarray(spec)[:, order])
    got, _ = varnel.instantaneous_frequency(spec)
    np.testing.assert_allclose(got, spec.freqs[order][0] + want * fs / bins, rtol=0, atol=1e-9 * fs)
    np.testing.assert_allclose(np.asarray(got)[middle], -1000.0, rtol=1e-3)


@pytest.mark.parametrize("options,phrase", [
    (dict(hop=6, bins=64), "hop to be a power of two"), (dict(bins=48), "not a power of two"),
    (dict(hop=64), "hop <= bins"), (dict(order=-1), "order"), (dict(variance=0), "variance"),
    (dict(refine_time=0), "refine_time"), (dict(band=(30, 5)), "band"), (dict(window_length=40), "multiple of bins")])
def test_argument_errors(options, phrase):
    with pytest.raises(ValueError, match=phrase):
        varnel.gabor_spectrogram(np.ones(100), **dict(dict(hop=8, bins=32), **options))
    with pytest.raises(TypeError, match="must be real"):
        varnel.instantaneous_frequency(np.ones((3, 4), dtype=complex))
