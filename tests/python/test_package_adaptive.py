"""Chirplet expansions and their Wigner images against numpy evaluations
of their definitions (the only check of their values): the complex
expansion as the sum of c g at every sample, the real one per term as
the transform's model builds it (adaptive_oracle.real_wave), the image as
the closed-form Wigner distribution of each term (every turn of the
frequency circle for complex terms, omega folded into [0, pi] for real
ones). Tolerances relative to each reference's peak.
"""
import numpy as np
import pytest

import varnel
from varnel import raw

import adaptive_oracle as oracle
from test_package_linear import assert_close

pytestmark = pytest.mark.usefixtures("library")

rng = np.random.default_rng(4242)
TWO_PI = 2 * np.pi


def random_terms(count, length):
    return varnel.terms(alpha=np.exp(rng.uniform(np.log(2e-3), np.log(2.0), count)),
                        tc=rng.uniform(-15, length + 15, count), omega=rng.uniform(-3 * np.pi, 5 * np.pi, count),
                        beta=rng.uniform(-0.02, 0.02, count))


@pytest.mark.parametrize("length", [300, 37])
def test_expansions_match_the_chirplet_sums(length):
    # One-sample supports (alpha > 324), a term far before and one far after
    # the output, a term at omega 0 with a real coefficient.
    terms = np.concatenate([random_terms(8, length), varnel.terms(
        alpha=[400.0, 1000.0, 0.05, 0.05, 0.02], tc=[17.3, length - 2.6, -400.0, length + 400.0, length / 3],
        omega=[1.0, 4.0, 1.0, 2.0, 0.0], beta=[0.0, 0.3, 0.0, 0.0, 0.0])])
    coefs = rng.standard_normal(13) + 1j * rng.standard_normal(13)
    coefs[12] = 1.7
    want = sum(c * oracle.chirplet(oracle.Term(*t), length) for t, c in zip(terms, coefs))
    assert_close(varnel.adaptive_expansion(terms, coefs, length, real=False), want, rtol=1e-12)
    want = np.zeros(length)
    for t, c in zip(terms, coefs):
        w = min(np.floor(9 / np.sqrt(t["alpha"]) + 0.5), length - 1)
        want += oracle.real_wave(oracle.Term(*t), c, int(np.floor(t["tc"] - w)), int(np.floor(t["tc"] + w)) + 1,
                                 length)
    got = varnel.adaptive_expansion(terms, coefs, length, real=True)
    assert got.dtype == np.float64
    assert_close(got, want, rtol=1e-12)


def wigner_image(terms, coefs, dt, K, t0, f0, rows, cols, real):
    t = max(t0, 0) + dt * np.arange(rows)[:, None]
    nu = TWO_PI * (f0 + np.arange(cols))[None, :] / K
    out = np.zeros((rows, cols))
    for term, c in zip(terms, coefs):
        alpha, tc, omega, beta = (float(term[f]) for f in ("alpha", "tc", "omega", "beta"))
        u = t - tc
        if real:
            distance = [nu - abs(omega - TWO_PI * np.floor(omega / TWO_PI + 0.5)) - beta * u]
        else:
            d = nu - omega - beta * u
            d -= TWO_PI * np.round(d / TWO_PI)
            turns = int(np.ceil(7 * np.sqrt(alpha) / TWO_PI)) + 1
            distance = [d + TWO_PI * n for n in range(-turns, turns + 1)]
        out += sum(2 * abs(c) ** 2 * np.exp(-alpha * u ** 2 - x ** 2 / alpha) for x in distance)
    return out / K


# (hop, bins, start, first_bin, rows, count, real): t0 < 0, K not a power
# of two, odd K, f0 > 0 with f0 + cols = K, all K columns, and a few
# columns of 2^30 + 1 bins (a band of billions of bins, most of them off
# the grid).
@pytest.mark.parametrize("hop,bins,start,first,rows,count,real", [
    (3, 100, -5, 0, 120, 50, True), (4, 37, 3, 5, 90, 13, True), (5, 96, 10, 7, 80, 89, False),
    (2, 64, 0, 0, 170, 64, False), (1, 50, -2, 20, 300, 30, False), (6, 2**30 + 1, 1, 35, 4, 214, False)])
def test_adaptive_spectrogram_is_the_closed_form_wigner_image(hop, bins, start, first, rows, count, real):
    span = max(start, 0) + hop * rows
    # Near 0 and 2 pi (wrapped columns), and a band wider than four turns.
    terms = np.concatenate([random_terms(10, span), varnel.terms(
        alpha=[0.01, 0.02, 6.0], tc=[span / 2, span / 3, max(start, 0) + 10 * hop + 0.3],
        omega=[0.01, TWO_PI - 0.05, 1.0], beta=[0.001, -0.0005, 0.0])])
    coefs = rng.standard_normal(13) + 1j * rng.standard_normal(13)
    got = varnel.adaptive_spectrogram(terms, coefs, hop=hop, bins=bins, start=start, first_bin=first, rows=rows,
                                      count=count, real=real, fs=8.0)
    assert_close(got, wigner_image(terms, coefs, hop, bins, start, first, rows, count, real), rtol=1e-12)
    assert_close(got.times, (max(start, 0) + hop * np.arange(rows)) / 8.0, rtol=1e-15)
    want_freqs = (first + np.arange(count)) * 8.0 / bins
    assert_close(got.freqs, want_freqs if real else np.where(want_freqs > 4.0, want_freqs - 8.0, want_freqs))


# The cell values are checked in tests/adaptive/test_reassigned.cpp, frame
# times and channel shapes with the other spectrograms' in
# test_package_linear.py; here a complex signal's axes and parallel channels.
def test_reassigned_spectrogram_grid_and_channels():
    window, x = np.hanning(63), rng.standard_normal((2, 600))
    image = varnel.reassigned_spectrogram(x[0] + 1j * x[1], window=window, hop=8, bins=64, fs=2.0)
    assert image.shape == ((600 - 63) // 8 + 1, 64)
    assert_close(image.freqs, varnel.frequencies(64, 2.0))
    both = varnel.reassigned_spectrogram(x, window=window, hop=8, bins=64, workers=2)
    np.testing.assert_array_equal(both[1], varnel.reassigned_spectrogram(x[1], window=window, hop=8, bins=64))


def test_terms_cross_unchanged_and_convert_units():
    t = varnel.terms(alpha=[0.01, 0.02], tc=[3.5, -7.0], omega=np.pi / 2, beta=[1e-3, -2e-3])
    record = raw.AdaptiveTerm.from_address(t.ctypes.data + t.itemsize)
    assert (record.alpha, record.tc, record.omega, record.beta) == tuple(t[1])
    physical = varnel.terms_in_seconds(t, 8000.0)
    np.testing.assert_allclose(physical["time"], [3.5 / 8000, -7.0 / 8000])
    np.testing.assert_allclose(physical["frequency"], 2000.0)
    np.testing.assert_allclose(physical["rate"], np.array([1e-3, -2e-3]) * 8000 ** 2 / TWO_PI)
    np.testing.assert_allclose(varnel.terms_from_seconds(physical, fs=8000.0).tolist(), t.tolist(), rtol=1e-15)


SP = dict(hop=2, bins=64, length=50, real=False)


@pytest.mark.parametrize("call,code,phrase", [
    (lambda: varnel.adaptive_expansion(varnel.terms([0.1, 0.0], 5, 1), [1, 1], 50, real=True), 32,
     "term 1 has alpha=0.0"),
    (lambda: varnel.adaptive_spectrogram(varnel.terms(0.1, np.inf, 1), 1, **SP), 32, "term 0 has tc=inf"),
    (lambda: varnel.adaptive_spectrogram(varnel.terms(0.1, 5, 1), 1, first_bin=10, count=60, **SP), 30,
     "first_bin=10 and count=60"),
])
def test_refusals_name_the_argument(call, code, phrase):
    with pytest.raises(varnel.ArgumentError) as caught:
        call()
    assert caught.value.code == code and phrase in caught.value.message
