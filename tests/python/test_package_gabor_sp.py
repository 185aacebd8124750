"""Gabor spectrogram and mean instantaneous frequency: the exports against
direct evaluations of their closed forms (term products, periodic Gaussian
kernels, plain circular sums; no FFT, no polyphase) over orders, bands and
refinements, their argument checks, and the numpy layer around them. The
coefficients' oracle is a direct analysis with the least-norm Wexler-Raz
dual (numpy.linalg.lstsq).
"""
import itertools

import numpy as np
import pytest

import varnel
from varnel import raw

pytestmark = pytest.mark.usefixtures("library")

rng = np.random.default_rng(2024)
INT_MAX, NO_MEMORY = 2 ** 31 - 1, -20001


def next_pow2(n):
    return 1 << max(0, int(n - 1).bit_length())


def periodic_gaussian(x, period, width2, mod):
    """Sum over j of exp(-u^2 / width2 + i mod u), u = x + j period, for every j
    where the Gaussian is above 1e-40 of its peak."""
    reach = int(np.sqrt(92.0 * width2) / period) + 2
    u = np.asarray(x, dtype=float)[..., None] + np.arange(-reach, reach + 1) * period
    return np.sum(np.exp(-u * u / width2 + 1j * mod * u), axis=-1)


def time_sum(seq, hop, a, k2, periods, omega, centre, instants):
    """Sum over m of seq[m] g(t - K2 m) at the fine instants t < instants (hop/K2
    samples apart), g the Gaussian of variance a centred at centre and
    modulated by omega, periodic over NT = periods hops."""
    g = periodic_gaussian(np.arange(periods * k2) * hop / k2 - centre, periods * hop, a, omega)
    t, m = np.arange(instants)[:, None], np.arange(len(seq))[None, :]
    return g[(t - k2 * m) % (periods * k2)] @ seq


def direct_gabor_sp(c, hop, a, low, high, k2, k1, first, count):
    """Fine instants x band bins, term by term: the product table, the frequency
    kernel on the L = N*K1 fine bins, the frequency and time convolutions."""
    frames, bins = c.shape
    lowest = max(low, 0)
    highest = max(lowest, min(high, frames - 1, bins - 1))
    # The time kernels repeat every NT hops: the Gaussian's reach plus the frames, to a power of two.
    periods, fine, n = next_pow2(int(np.ceil(6.3 * np.sqrt(a) / hop)) + frames), bins * k1, np.arange(bins)
    total = 0
    for dm, dn in itertools.product(range(highest + 1), range(-highest, highest + 1)):
        if not lowest <= dm + abs(dn) <= highest or (dm == 0 and dn < 0):
            continue
        # Offset from the pair's midpoint frequency, modulated by the time offset.
        gf = periodic_gaussian(2 * np.pi * np.arange(fine) / fine - dn * np.pi / bins, 2 * np.pi, 1 / a, -dm * hop)
        theta = np.pi * (dm + 2 * np.arange(frames - dm)[:, None]) * hop * dn / bins
        products = np.conj(c[:frames - dm]) * c[dm:, (n + dn) % bins] * np.exp(1j * theta)
        r = products @ gf[(first + np.arange(count)[None, :] - k1 * n[:, None]) % fine]
        weight = 0.5 if dm == dn == 0 else 1.0
        total = total + weight * time_sum(r, hop, a, k2, periods, 2 * np.pi * dn / bins, dm * hop / 2, frames * k2)
    return 4.0 * hop ** 2 / (bins ** 3 * k1) * np.real(total)


def direct_mif(c, hop, a, order, k2):
    """(first moment, energy) of the smoothed terms at the fine instants t < (M-1)*K2."""
    frames, bins = c.shape
    top = min(order, frames - 1, bins - 1)
    periods = next_pow2(int(np.ceil(12.0 * np.sqrt(2.0 * a) / hop)) + frames)
    moment = energy = 0
    for dm in range(top + 1):
        for dn in range(0 if dm == 0 else dm - top, top - dm + 1):
            g, rows, weight = np.exp(-(hop * dm) ** 2 / (4 * a)), frames - dm, 0.5 if dm == dn == 0 else 1.0
            mid2 = np.arange(1, bins - 1 - abs(dn))
            mid2 = mid2[(mid2 - dn) % 2 == 0]
            p = np.conj(c[:rows, (mid2 - dn) // 2 % bins]) * c[dm:, (mid2 + dn) // 2 % bins]
            phase = g * np.exp(2j * np.pi * (dm / 2 + np.arange(rows)) * hop * dn / bins)

            def smooth(seq):
                # Centred half a sample short of the midpoint when dm * hop is odd.
                return weight * time_sum(seq, hop, a, k2, periods, 2 * np.pi * dn / bins, dm * hop // 2,
                                         (frames - 1) * k2)
            moment = moment + smooth(phase * (p @ (mid2 * np.pi / bins - 1j * dm * hop / (2 * a))))
            energy = energy + smooth(phase * p.sum(axis=1))
            if dn == 0:
                energy = energy + 0.5 * smooth(g * np.real(np.conj(c[:rows, 0]) * c[dm:, 0]))
    return np.real(moment), np.real(energy)


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


def random_coefficients(frames, bins):
    return rng.standard_normal((frames, bins)) + 1j * rng.standard_normal((frames, bins))


@pytest.mark.parametrize("frames,bins,hop,a,low,high,k2,k1,first,count", [
    (8, 16, 4, 6.0, 0, 0, 2, 2, 0, 32),  # order 0 only
    (8, 16, 4, 6.0, 0, 2, 2, 2, 0, 32),  # both signs of dn
    (8, 16, 4, 6.0, 1, 2, 3, 2, 3, 20),  # band, lowest order 1
    (8, 16, 4, 6.0, 3, 1, 1, 2, 0, 32),  # low > high: order 3 alone
    (1, 8, 2, 3.0, 0, 3, 3, 1, 0, 8),  # M = 1: dm = 0 terms only
    (6, 8, 2, 20.0, -4, 9, 1, 1, 0, 8),  # dn wraps past bin N-1
    (5, 4, 8, 2.5, 0, 3, 2, 3, 11, 1),  # last fine bin alone
    (6, 8, 2, 3.0, 0, 2, 2, 4, 1, 2),  # band narrower than K1, inside one lattice bin
    (5, 4, 2, 3.0, 0, INT_MAX, 2, 2, 0, 8),  # high order limited to the lattice
    (6, 8, 2, 200.0, 0, 2, 2, 1, 0, 8),  # wide window, longer time axis
    (6, 8, 2, 1e-3, 0, 1, 2, 2, 0, 16)])  # kernel wider than the circle
def test_spectrogram_matches_the_direct_term_sum(frames, bins, hop, a, low, high, k2, k1, first, count):
    c = random_coefficients(frames, bins)
    want = direct_gabor_sp(c, hop, a, low, high, k2, k1, first, count)
    np.testing.assert_allclose(export(c, hop, a, low, high, k2, k1, first, count), want, rtol=0,
                               atol=1e-12 * np.max(np.abs(want)))


# An order far beyond the lattice wraps around the frequency circle: with
# K2 = 1 and an even dM it is the same as its remainder modulo 2N (for
# orders above M - 1, so that every term keeps both signs). Mostly a check
# that no index or kernel bound overflows; the far offsets lose digits in
# their modulation phases.
def test_far_wrapped_order_matches_its_remainder():
    c = random_coefficients(6, 8)
    want = export(c, 2, 5.0, 15, 0, 1, 2, 0, 16)
    np.testing.assert_allclose(export(c, 2, 5.0, INT_MAX, 0, 1, 2, 0, 16), want, rtol=0,
                               atol=1e-5 * np.max(np.abs(want)))


# The quotient is compared with an error budget that follows its
# sensitivity: relative to the largest energy over the local energy.
@pytest.mark.parametrize("frames,bins,hop,a,order,k2", [
    (8, 16, 4, 6.0, 0, 2), (8, 16, 4, 6.0, 2, 2), (6, 8, 2, 20.0, 5, 3), (5, 8, 8, 3.0, 100, 1), (9, 4, 1, 0.5, 3, 4)])
def test_mean_instantaneous_frequency_matches_the_direct_sums(frames, bins, hop, a, order, k2):
    c = random_coefficients(frames, bins)
    got = np.full((frames - 1) * k2, np.nan)
    assert raw.MIFOfGaborSp(raw.pointer(c), frames, bins, hop, a, order, k2, raw.pointer(got)) == 0
    moment, energy = direct_mif(c, hop, a, order, k2)
    quotient = moment / energy
    budget = 1e-11 * np.maximum(1, np.abs(quotient)) * np.max(np.abs(energy)) / np.abs(energy)
    assert np.all(np.abs(got - quotient) <= budget)


# With energy in one frequency row n only, order 0 sees a single atom
# frequency: the track is 2*pi*n/N at every instant.
@pytest.mark.parametrize("n,k2", itertools.product([1, 3, 5, 7], [1, 3]))
def test_single_frequency_row_gives_its_frequency(n, k2):
    c = np.zeros((10, 16), dtype=complex)
    c[:, n] = random_coefficients(10, 1)[:, 0]
    track = np.full(9 * k2, np.nan)
    assert raw.MIFOfGaborSp(raw.pointer(c), 10, 16, 4, 9.0, 0, k2, raw.pointer(track)) == 0
    np.testing.assert_allclose(track, 2 * np.pi * n / 16, rtol=1e-13)


# Each case also breaks every later check, so only the order of the checks
# decides the status; empty outputs succeed. Nothing is written either way.
@pytest.mark.parametrize("frames,bins,hop,a,low,high,k2,k1,first,count,status", [
    (0, 8, 3, -1.0, 0, -1, -1, 0, 0, 0, 1), (4, 12, 3, -1.0, 0, -1, -1, 0, 0, 0, 1),
    (4, 0, 3, -1.0, 0, -1, -1, 0, 0, 0, 1), (4, 8, 0, -1.0, 0, -1, -1, 0, 0, 0, 29),
    (4, 8, 2, np.nan, 0, -1, -1, 0, 0, 0, 23), (4, 8, 2, 0.0, 0, 1, -1, 0, 0, 0, 27),
    (4, 8, 2, np.nan, 0, 1, -1, 0, 0, 0, 27), (4, 8, 2, 3.0, 0, 1, -1, 1, -1, 0, 31),
    (4, 8, 2, 3.0, 0, 1, 1, -1, -1, 0, 31), (4, 8, 2, 3.0, 0, 1, 1, 0, 0, 1, 30),  # K1 = 0
    (4, 8, 2, 3.0, 0, 1, 1, 2, -1, 1, 30), (4, 8, 2, 3.0, 0, 1, 1, 2, 3, 0, 30), (4, 8, 2, 3.0, 0, 1, 1, 2, 3, 14, 30),
    # Past the checks: an empty grid, and time axes that cannot exist.
    (4, 8, 2, 3.0, 0, 1, 0, 2, 3, 13, 0), (4, 8, 2, np.inf, 0, 1, 1, 2, 3, 13, NO_MEMORY),
    (4, 8, 2, 1e300, 0, 1, 1, 2, 3, 13, NO_MEMORY),
    # The mean instantaneous frequency (order = high, K2): the same checks but
    # the band's, and M = 1 or K2 = 0 as empty tracks.
    (0, 8, 3, -1.0, None, -1, -1, 0, 0, 0, 1), (4, 6, 3, -1.0, None, -1, -1, 0, 0, 0, 1),
    (4, 8, 3, 0.0, None, -1, -1, 0, 0, 0, 27), (4, 8, 3, np.nan, None, -1, -1, 0, 0, 0, 27),
    (4, 8, 3, 2.0, None, -1, -1, 0, 0, 0, 29), (4, 8, 2, 2.0, None, -1, -1, 0, 0, 0, 23),
    (4, 8, 2, 2.0, None, 1, -1, 0, 0, 0, 31), (4, 8, 2, np.inf, None, 1, 1, 0, 0, 0, NO_MEMORY),
    (4, 8, 2, 1e300, None, 1, 1, 0, 0, 0, NO_MEMORY), (1, 8, 2, 3.0, None, 2, 4, 0, 0, 0, 0),
    (4, 8, 2, 3.0, None, 2, 0, 0, 0, 0, 0)])
def test_checks_in_order_write_nothing(frames, bins, hop, a, low, high, k2, k1, first, count, status):
    c, out = rng.standard_normal(64), np.full(64, -7.25)
    if low is None:
        assert raw.MIFOfGaborSp(raw.pointer(c), frames, bins, hop, a, high, k2, raw.pointer(out)) == status
    else:
        assert raw.CxGaborSp(raw.pointer(c), frames, bins, hop, a, low, high, k2, k1, first, count,
                             raw.pointer(out)) == status
    assert np.all(out == -7.25)


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
