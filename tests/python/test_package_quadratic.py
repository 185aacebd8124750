"""The numpy layer's quadratic distributions: axes, channels, refusals, and
values against the numpy implementation kept with the benchmarks (the
exports against long-double direct sums: tests/quadratic)."""
import importlib.util

import numpy as np
import pytest

import varnel
from conftest import REPOSITORY
from test_package_linear import assert_close

pytestmark = pytest.mark.usefixtures("library")

rng = np.random.default_rng(99)


def choi_williams_kernel(rows, width, sigma):
    r = np.arange(rows)[:, None]
    d = np.arange(width)[None, :] - width // 2
    return np.exp(-sigma * (r * d).astype(float) ** 2)


def cone_kernel(rows, width, alpha):
    r = np.arange(rows)[:, None]
    x = (np.arange(width)[None, :] - width // 2) * (r * np.pi / width)
    with np.errstate(invalid="ignore", divide="ignore"):
        sinc = np.where(x == 0, 1.0, np.sin(x) / x)
    return np.exp(-alpha * r ** 2.0) * sinc


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


# The numpy implementation kept with the benchmarks, loaded by path, builds
# the analysed sequences, lag table and Doppler smoothing on its own.
_found = importlib.util.spec_from_file_location("wvd_numpy_reference", REPOSITORY / "bench/quadratic/wvd_numpy.py")
numpy_reference = importlib.util.module_from_spec(_found)
_found.loader.exec_module(numpy_reference)


# n, bins, hop with n // hop * hop above half of nextpow2(n), as the Cohen
# class requires; 200 and 150 are not powers of two.
@pytest.mark.parametrize("kind", ["real", "analytic", "complex"])
@pytest.mark.parametrize("n,bins,hop", [(256, 64, 4), (200, 32, 8), (150, 128, 2)])
def test_family_matches_numpy_reference(kind, n, bins, hop):
    x = rng.standard_normal(n) + (1j * rng.standard_normal(n) if kind == "complex" else 0)
    analytic = kind == "analytic"
    re, im = (x.real, x.imag) if kind == "complex" else (x, None)
    got = varnel.wvd(x, bins=bins, hop=hop, analytic=analytic, fs=1000.0)
    assert_close(got, numpy_reference.wvd(re, im, bins, hop, analytic=analytic), 1e-10)
    np.testing.assert_allclose(got.times, hop * np.arange(n // hop) / 1000.0)
    if kind != "complex":
        np.testing.assert_allclose(got.freqs, np.arange(bins // 2) * 1000.0 / bins)
    assert_close(varnel.cwd(x, bins=bins, hop=hop, sigma=3e-4, analytic=analytic),
                   numpy_reference.cwd(re, im, bins, hop, 3e-4, analytic=analytic), 1e-10)
    width = 1 << (n - 1).bit_length()
    cone = cone_kernel(bins, width, 2e-3)
    assert_close(varnel.csd(x, bins=bins, hop=hop, alpha=2e-3, analytic=analytic),
                   numpy_reference.cohen(re, im, bins, cone, hop, analytic=analytic), 1e-10)
    # The general export with a kernel of neither preset's form.
    kernel = np.abs(rng.standard_normal((bins, width))) * choi_williams_kernel(bins, width, 1e-3)
    assert_close(varnel.cohen(x, kernel, bins=bins, hop=hop, analytic=analytic),
                   numpy_reference.cohen(re, im, bins, kernel, hop, analytic=analytic), 1e-10)
