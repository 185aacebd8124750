"""The quadratic distributions: every mode and size path of the exports
against the numpy implementation kept with the benchmarks, which builds the
analysed sequences, lag table and Doppler smoothing on its own; and the
numpy layer's axes, channels and refusals."""
import importlib.util
import itertools

import numpy as np
import pytest

import varnel
from varnel import raw
from conftest import REPOSITORY

pytestmark = pytest.mark.usefixtures("library")

rng = np.random.default_rng(99)
KINDS = ["real", "analytic", "complex"]

_found = importlib.util.spec_from_file_location("wvd_numpy_reference", REPOSITORY / "bench/quadratic/wvd_numpy.py")
numpy_reference = importlib.util.module_from_spec(_found)
_found.loader.exec_module(numpy_reference)


def draw(kind, n):
    """(signal for the package, re and im for the reference)."""
    x = rng.standard_normal(n) + (1j * rng.standard_normal(n) if kind == "complex" else 0)
    return (x, x.real.copy(), x.imag.copy()) if kind == "complex" else (x, x, None)


def assert_close(got, want, relative=1e-13):
    """Within a few FFT roundings of the largest value; exactly the shape."""
    assert got.shape == want.shape
    np.testing.assert_allclose(got, want, rtol=0, atol=relative * np.abs(want).max(initial=1e-300))


# One and two samples, odd, power of two and not; one bin (a single lag,
# none in analytic mode), two (a single output bin); hops that do not
# divide n.
@pytest.mark.parametrize("kind", KINDS)
def test_wvd_at_every_size_matches_numpy_reference(kind):
    analytic = kind == "analytic"
    for n, bins, hop in itertools.product([1, 2, 7, 64, 100], [1, 2, 8, 32], [1, 3, 5]):
        x, re, im = draw(kind, n)
        got = varnel.wvd(x, bins=bins, hop=hop, analytic=analytic)
        want = np.zeros((n // hop, 0)) if analytic and bins == 1 else numpy_reference.wvd(re, im, bins, hop, analytic)
        assert_close(got, want)


# The kernel width next_pow2((n // hop) * hop) is at least n; the kernel is
# of neither preset's form.
@pytest.mark.parametrize("kind", KINDS)
def test_cohen_with_a_random_kernel_matches_numpy_reference(kind):
    analytic = kind == "analytic"
    for n, bins, hop in [(1, 2, 1), (5, 8, 1), (16, 8, 2), (60, 16, 4), (100, 8, 8), (64, 32, 1)]:
        x, re, im = draw(kind, n)
        kernel = rng.standard_normal((bins, numpy_reference.next_pow2(n // hop * hop)))
        assert_close(varnel.cohen(x, kernel, bins=bins, hop=hop, analytic=analytic),
                     numpy_reference.cohen(re, im, bins, kernel, hop, analytic))


# n = 200 (not a power of two), 32 bins, hop 8: n // hop * hop above half
# of nextpow2(n), as the Cohen class requires. The presets are Cohen with
# their kernel tables written from the formulas (Choi-Williams rows from
# lag 8 on end within 16 Doppler bins, the rest reach further); with
# sigma <= 0 (as the library takes a negative one) it is the WVD.
@pytest.mark.parametrize("kind", KINDS)
def test_presets_and_axes(kind):
    n, bins, hop, analytic = 200, 32, 8, kind == "analytic"
    x, re, im = draw(kind, n)
    got = varnel.wvd(x, bins=bins, hop=hop, analytic=analytic, fs=1000.0)
    np.testing.assert_allclose(got.times, hop * np.arange(n // hop) / 1000.0)
    np.testing.assert_allclose(got.freqs[:bins // 2], np.arange(bins // 2) * 1000.0 / bins)
    assert_close(varnel.cwd(x, bins=bins, hop=hop, sigma=0.05, analytic=analytic),
                 numpy_reference.cwd(re, im, bins, hop, 0.05, analytic=analytic))
    width, r = 256, np.arange(bins)[:, None]
    lag = (np.arange(width)[None, :] - width // 2) * (r * np.pi / width)  # the cone kernel for alpha = 2e-3
    cone = np.exp(-2e-3 * r ** 2.0) * np.sinc(lag / np.pi)
    assert_close(varnel.csd(x, bins=bins, hop=hop, alpha=2e-3, analytic=analytic),
                 numpy_reference.cohen(re, im, bins, cone, hop, analytic=analytic))
    assert_close(varnel.cohen(x, np.ones((bins, width)), bins=bins, hop=hop, analytic=analytic), got)
    assert_close(varnel.cwd(x, bins=bins, hop=hop, sigma=0.0, analytic=analytic), got)
    negative = np.full(got.shape, np.nan)
    assert raw.CWD(raw.pointer(re), raw.pointer(im), n, bins, hop, -2.5, int(analytic), raw.pointer(negative)) == 0
    assert_close(negative, got)
    # One time slice, and a Choi-Williams kernel so narrow that each lag
    # keeps only its zero-Doppler bin.
    x, re, im = draw(kind, 8)
    assert_close(varnel.cwd(x, bins=4, hop=8, sigma=1e6, analytic=analytic),
                 numpy_reference.cwd(re, im, 4, 8, 1e6, analytic=analytic))
    for n, bins in [(1, 2), (4, 1)]:  # the least the presets take: one sample, one bin
        x, _, _ = draw(kind, n)
        assert_close(varnel.cwd(x, bins=bins, hop=1, sigma=0.0, analytic=analytic),
                     varnel.wvd(x, bins=bins, hop=1, analytic=analytic))


def test_channels_and_workers():
    x = rng.standard_normal((3, 512))
    many = varnel.cwd(x, bins=64, hop=8, workers=2)
    for c in range(3):
        np.testing.assert_array_equal(many[c], varnel.cwd(x[c], bins=64, hop=8))


@pytest.mark.parametrize("call,code,phrase", [
    (lambda: varnel.cohen(np.ones(128), np.ones((10, 128)), bins=64, hop=4, analytic=False), None, "needs at least 64"),
    (lambda: varnel.wvd(np.ones(100), bins=48), 3, "bins=48 is not a power of two"),
    (lambda: varnel.wvd(np.ones(100), bins=64, hop=0), 22, "hop must be at least 1"),
    (lambda: varnel.cwd(np.ones(100), bins=64, hop=3), 22, "power of two (got 3)"),
    (lambda: varnel.cwd(np.ones(129), bins=64, hop=4), 28, "trim the signal to 128 samples"),
    (lambda: varnel.csd(np.ones(10), bins=64, hop=16), 28, "shorter than hop=16"),
    (lambda: varnel.cohen(np.ones(100), np.ones((64, 64)), bins=64, hop=4), 28, "below the signal length"),
])
def test_errors(call, code, phrase):
    with pytest.raises(ValueError) as caught:
        call()
    assert getattr(caught.value, "code", None) == code and phrase in str(caught.value)
