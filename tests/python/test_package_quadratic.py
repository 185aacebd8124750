"""The numpy layer's quadratic distributions: axes, channels, refusals, and
which signal, kernel and options reach the exports, against the numpy
implementation kept with the benchmarks (the exports' values against
long-double direct sums: tests/quadratic)."""
import importlib.util

import numpy as np
import pytest

import varnel
from conftest import REPOSITORY
from test_package_linear import assert_close

pytestmark = pytest.mark.usefixtures("library")

rng = np.random.default_rng(99)

# The numpy implementation kept with the benchmarks, loaded by path, builds
# the analysed sequences, lag table and Doppler smoothing on its own.
_found = importlib.util.spec_from_file_location("wvd_numpy_reference", REPOSITORY / "bench/quadratic/wvd_numpy.py")
numpy_reference = importlib.util.module_from_spec(_found)
_found.loader.exec_module(numpy_reference)


# n = 200 (not a power of two), 32 bins, hop 8: n // hop * hop above half
# of nextpow2(n), as the Cohen class requires.
@pytest.mark.parametrize("kind", ["real", "analytic", "complex"])
def test_family_matches_numpy_reference(kind):
    n, bins, hop, analytic = 200, 32, 8, kind == "analytic"
    x = rng.standard_normal(n) + (1j * rng.standard_normal(n) if kind == "complex" else 0)
    re, im = (x.real, x.imag) if kind == "complex" else (x, None)
    got = varnel.wvd(x, bins=bins, hop=hop, analytic=analytic, fs=1000.0)
    assert_close(got, numpy_reference.wvd(re, im, bins, hop, analytic=analytic), 1e-10)
    np.testing.assert_allclose(got.times, hop * np.arange(n // hop) / 1000.0)
    np.testing.assert_allclose(got.freqs[:bins // 2], np.arange(bins // 2) * 1000.0 / bins)
    assert got.shape[1] == (bins if kind == "complex" else bins // 2)
    assert_close(varnel.cwd(x, bins=bins, hop=hop, sigma=3e-4, analytic=analytic),
                 numpy_reference.cwd(re, im, bins, hop, 3e-4, analytic=analytic), 1e-10)
    width, r = 256, np.arange(bins)[:, None]
    lag = (np.arange(width)[None, :] - width // 2) * (r * np.pi / width)  # the cone kernel for alpha = 2e-3
    cone = np.exp(-2e-3 * r ** 2.0) * np.sinc(lag / np.pi)
    assert_close(varnel.csd(x, bins=bins, hop=hop, alpha=2e-3, analytic=analytic),
                 numpy_reference.cohen(re, im, bins, cone, hop, analytic=analytic), 1e-10)
    kernel = np.abs(rng.standard_normal((bins, width)))  # the general export with a kernel of neither preset's form
    assert_close(varnel.cohen(x, kernel, bins=bins, hop=hop, analytic=analytic),
                 numpy_reference.cohen(re, im, bins, kernel, hop, analytic=analytic), 1e-10)


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
