"""The numpy layer's quadratic distributions: axes, channels, refusals, and
the values against the vectorised numpy implementation kept with the
benchmarks. The exports' values in every mode are checked against
long-double direct sums in tests/quadratic.
"""
import numpy as np
import pytest

import varnel

pytestmark = pytest.mark.usefixtures("library")

rng = np.random.default_rng(99)


def next_power_of_two(n):
    return 1 << (n - 1).bit_length()


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
    (lambda: varnel.wvd(np.ones(100), bins=48), 3, "bins=48 is not a power of two"),
    (lambda: varnel.wvd(np.ones(100), bins=64, hop=0), 22, "hop must be at least 1"),
    (lambda: varnel.cwd(np.ones(100), bins=64, hop=3), 22, "power of two (got 3)"),
    (lambda: varnel.cwd(np.ones(129), bins=64, hop=4), 28, "trim the signal to 128 samples"),
    (lambda: varnel.csd(np.ones(10), bins=64, hop=16), 28, "shorter than hop=16"),
    (lambda: varnel.cohen(np.ones(100), np.ones((64, 64)), bins=64, hop=4), 28, "below the signal length"),
])
def test_errors(call, code, phrase):
    with pytest.raises(varnel.ArgumentError) as caught:
        call()
    assert caught.value.code == code and phrase in caught.value.message


def test_kernel_with_too_few_rows_is_refused_before_the_call():
    with pytest.raises(ValueError, match="needs at least 64"):
        varnel.cohen(np.ones(128), np.ones((10, 128)), bins=64, hop=4, analytic=False)


# ------------------------------------------------------------------------
# The whole family against the vectorised numpy implementation kept with
# the benchmarks (bench/quadratic/wvd_numpy.py), loaded by path: it builds
# the analysed sequences, the lag table and the Doppler smoothing with
# numpy.fft on its own.

def _load_numpy_reference():
    import importlib.util
    import pathlib
    path = pathlib.Path(__file__).resolve().parents[2] / "bench" / "quadratic" / "wvd_numpy.py"
    found = importlib.util.spec_from_file_location("wvd_numpy_reference", path)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


numpy_reference = _load_numpy_reference()

MODES = ["real", "analytic", "complex"]


def mode_signal(kind, n):
    x = rng.standard_normal(n)
    if kind == "complex":
        return x + 1j * rng.standard_normal(n)
    return x


def reference_parts(x):
    return (x.real, x.imag) if np.iscomplexobj(x) else (x, None)


def assert_matches(got, want):
    assert got.shape == want.shape
    np.testing.assert_allclose(got, want, rtol=0, atol=1e-10 * np.max(np.abs(want)))


# n, bins, hop with n // hop * hop above half of nextpow2(n), as the Cohen
# class requires; 200 and 150 are not powers of two.
@pytest.mark.parametrize("kind", MODES)
@pytest.mark.parametrize("n,bins,hop", [(256, 64, 4), (200, 32, 8), (150, 128, 2)])
def test_family_matches_numpy_reference(kind, n, bins, hop):
    x = mode_signal(kind, n)
    analytic = kind == "analytic"
    re, im = reference_parts(x)
    got = varnel.wvd(x, bins=bins, hop=hop, analytic=analytic, fs=1000.0)
    assert_matches(got, numpy_reference.wvd(re, im, bins, hop, analytic=analytic))
    np.testing.assert_allclose(got.times, hop * np.arange(n // hop) / 1000.0)
    if kind != "complex":
        np.testing.assert_allclose(got.freqs, np.arange(bins // 2) * 1000.0 / bins)
    assert_matches(varnel.cwd(x, bins=bins, hop=hop, sigma=3e-4, analytic=analytic),
                   numpy_reference.cwd(re, im, bins, hop, 3e-4, analytic=analytic))
    width = next_power_of_two(n)
    cone = cone_kernel(bins, width, 2e-3)
    assert_matches(varnel.csd(x, bins=bins, hop=hop, alpha=2e-3, analytic=analytic),
                   numpy_reference.cohen(re, im, bins, cone, hop, analytic=analytic))
    # The general export with a kernel of neither preset's form.
    kernel = np.abs(rng.standard_normal((bins, width))) * choi_williams_kernel(bins, width, 1e-3)
    assert_matches(varnel.cohen(x, kernel, bins=bins, hop=hop, analytic=analytic),
                   numpy_reference.cohen(re, im, bins, kernel, hop, analytic=analytic))
