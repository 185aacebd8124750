"""The numpy layer's quadratic distributions against direct sums.

The reference builds the analysed sequence with numpy.fft as varnel.h
describes it (analytic signal with sqrt(2) on the positive bins of the
zero-padded spectrum; band-limited half-sample interpolation for complex
signals) and evaluates W[j, k] = (1/M) sum over |tau| < M of
z[p + tau] conj(z[p - tau]) exp(-2 pi i k tau / M) term by term. The
Cohen-class presets are checked through their kernels, built here from
their closed forms and handed to the general Cohen export, and through
their limits (sigma = 0 and a kernel of ones give the Wigner-Ville
distribution).
"""
import numpy as np
import pytest

import varnel

pytestmark = pytest.mark.usefixtures("library")

rng = np.random.default_rng(99)


def next_power_of_two(n):
    return 1 << (n - 1).bit_length()


def analytic_signal(x):
    n = len(x)
    m = next_power_of_two(n)
    spectrum = np.fft.fft(x, m)
    z = np.zeros(m, dtype=complex)
    z[0] = spectrum[0].real
    z[1:(m + 1) // 2] = np.sqrt(2) * spectrum[1:(m + 1) // 2]
    if m % 2 == 0 and m >= 2:
        z[m // 2] = spectrum[m // 2].real
    return np.fft.ifft(z)[:n]


def half_sample_grid(x):
    n = len(x)
    m = next_power_of_two(n)
    spectrum = np.fft.fft(x, m)
    k = np.arange(1, (m + 1) // 2)
    spectrum[k] *= np.exp(1j * np.pi * k / m)
    spectrum[m - k] *= np.exp(-1j * np.pi * k / m)
    if m % 2 == 0:
        spectrum[m // 2] *= -1j
    out = np.empty(2 * n, dtype=complex)
    out[0::2], out[1::2] = x, np.fft.ifft(spectrum)[:n]
    return out


def reference_wvd(z, positions, lags, kept):
    out = np.zeros((len(positions), kept))
    tau = np.arange(-(lags - 1), lags)
    phase = np.exp(-2j * np.pi * np.outer(np.arange(kept), tau) / lags)
    for j, p in enumerate(positions):
        inside = (p + tau >= 0) & (p + tau < len(z)) & (p - tau >= 0) & (p - tau < len(z))
        r = np.where(inside, z[np.clip(p + tau, 0, len(z) - 1)] * np.conj(z[np.clip(p - tau, 0, len(z) - 1)]), 0)
        out[j] = np.real(phase @ r) / lags
    return out


@pytest.mark.parametrize("n,bins,hop", [(200, 64, 8), (256, 32, 1), (150, 128, 25)])
def test_analytic_wvd_matches_direct_sum(n, bins, hop):
    x = rng.standard_normal(n)
    got = varnel.wvd(x, bins=bins, hop=hop, fs=1000.0)
    positions = hop * np.arange(n // hop)
    want = reference_wvd(analytic_signal(x), positions, bins // 2, bins // 2)
    np.testing.assert_allclose(got, want, rtol=0, atol=1e-10 * np.max(np.abs(want)))
    np.testing.assert_allclose(got.times, positions / 1000.0)
    np.testing.assert_allclose(got.freqs, np.arange(bins // 2) * 1000.0 / bins)


@pytest.mark.parametrize("n,bins,hop", [(200, 64, 8), (100, 16, 3)])
def test_complex_wvd_matches_direct_sum(n, bins, hop):
    z = rng.standard_normal(n) + 1j * rng.standard_normal(n)
    got = varnel.wvd(z, bins=bins, hop=hop)
    want = reference_wvd(half_sample_grid(z), 2 * hop * np.arange(n // hop), bins, bins)
    np.testing.assert_allclose(got, want, rtol=0, atol=1e-10 * np.max(np.abs(want)))


@pytest.mark.parametrize("f0", [0.1, 0.3125])
def test_cosine_ridge_sits_at_its_frequency(f0):
    fs = 8000.0
    x = np.cos(2 * np.pi * f0 * np.arange(512))
    got = varnel.wvd(x, bins=128, hop=16, fs=fs)
    middle = got[len(got) // 2]
    assert got.freqs[np.argmax(middle)] == pytest.approx(f0 * fs, abs=fs / 128)


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


@pytest.mark.parametrize("kind", ["analytic", "real", "complex"])
def test_presets_are_cohen_with_their_kernels(kind):
    n, bins, hop = 256, 64, 4
    x = rng.standard_normal(n) + (1j * rng.standard_normal(n) if kind == "complex" else 0)
    options = dict(bins=bins, hop=hop, analytic=kind == "analytic")
    width = next_power_of_two(n)
    for preset, kernel in ((varnel.cwd(x, sigma=2e-4, **options), choi_williams_kernel(bins, width, 2e-4)),
                           (varnel.csd(x, alpha=1e-3, **options), cone_kernel(bins, width, 1e-3))):
        want = varnel.cohen(x, kernel, **options)
        np.testing.assert_allclose(preset, want, rtol=0, atol=1e-12 * np.max(np.abs(want)))
    wvd = varnel.wvd(x, **options)
    scale = np.max(np.abs(wvd))
    np.testing.assert_allclose(varnel.cwd(x, sigma=0.0, **options), wvd, rtol=0, atol=1e-10 * scale)
    np.testing.assert_allclose(varnel.cohen(x, np.ones((bins, width)), **options), wvd, rtol=0,
                               atol=1e-10 * scale)


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


@pytest.mark.parametrize("kind", MODES)
@pytest.mark.parametrize("n,bins,hop", [(256, 64, 4), (200, 32, 3), (77, 128, 1), (300, 16, 10)])
def test_wvd_matches_numpy_reference(kind, n, bins, hop):
    x = mode_signal(kind, n)
    got = varnel.wvd(x, bins=bins, hop=hop, analytic=kind == "analytic")
    re, im = reference_parts(x)
    assert_matches(got, numpy_reference.wvd(re, im, bins, hop, analytic=kind == "analytic"))


# n, bins, hop with n // hop * hop above half of nextpow2(n), as the Cohen
# class requires; 200 and 150 are not powers of two.
COHEN_GRIDS = [(256, 64, 4), (200, 32, 8), (150, 128, 2)]


@pytest.mark.parametrize("kind", MODES)
@pytest.mark.parametrize("n,bins,hop", COHEN_GRIDS)
def test_cwd_matches_numpy_reference(kind, n, bins, hop):
    x = mode_signal(kind, n)
    sigma = 3e-4
    got = varnel.cwd(x, bins=bins, hop=hop, sigma=sigma, analytic=kind == "analytic")
    re, im = reference_parts(x)
    assert_matches(got, numpy_reference.cwd(re, im, bins, hop, sigma, analytic=kind == "analytic"))


@pytest.mark.parametrize("kind", MODES)
@pytest.mark.parametrize("n,bins,hop", COHEN_GRIDS)
def test_csd_and_cohen_match_numpy_reference(kind, n, bins, hop):
    x = mode_signal(kind, n)
    analytic = kind == "analytic"
    re, im = reference_parts(x)
    width = next_power_of_two(n)
    alpha = 2e-3
    cone = cone_kernel(bins, width, alpha)
    want = numpy_reference.cohen(re, im, bins, cone, hop, analytic=analytic)
    assert_matches(varnel.csd(x, bins=bins, hop=hop, alpha=alpha, analytic=analytic), want)
    # The general export with a kernel of neither preset's form.
    kernel = np.abs(rng.standard_normal((bins, width))) * choi_williams_kernel(bins, width, 1e-3)
    assert_matches(varnel.cohen(x, kernel, bins=bins, hop=hop, analytic=analytic),
                   numpy_reference.cohen(re, im, bins, kernel, hop, analytic=analytic))
