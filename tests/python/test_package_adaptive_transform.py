"""adaptive_transform as the numpy layer presents it: terms, residual and
its energy, the signal and picture rebuilt, options and refusals (the
pursuit itself: test_adaptive_transform_oracle.py)."""
import numpy as np
import pytest

import varnel
from varnel import raw

pytestmark = pytest.mark.usefixtures("library")

N = 2048
n = np.arange(N)


def bursts(is_complex, tone=0.0):
    """Three chirped Gaussian bursts well inside the signal and far from
    frequencies 0 and pi, and optionally a stationary tone."""
    z = sum(a * np.exp(-0.5 * ((n - c) / s) ** 2 + 1j * (w * (n - c) + 0.5 * b * (n - c) ** 2))
            for a, s, c, w, b in [(3, 120, 600, 0.7, 4e-4), (2, 200, 1300, 2.0, -3e-4), (1, 60, 1000, 1.3, 0.0)])
    z = z + tone * np.exp(1j * (0.3 * n + 0.2))
    return z if is_complex else z.real


def energy(v):
    return np.sum(np.abs(v) ** 2)


# Expansion and transform round a real term's support ends differently (by
# a sample): immaterial for the bursts, about 1e-5 for a tone's terms, which
# are longer than the signal.
@pytest.mark.parametrize("is_complex,tone,tolerance", [(True, 0.0, 1e-10), (False, 0.0, 1e-10), (False, 0.5, 1e-4)],
                         ids=["complex", "real", "real-with-tone"])
def test_terms_rebuild_the_signal_less_the_residual(is_complex, tone, tolerance):
    x = bursts(is_complex, tone)
    d = varnel.adaptive_transform(x, 12, fs=4000.0)
    assert (len(d), d.n, d.fs, d.real) == (12, N, 4000.0, not is_complex)
    assert (d.terms.dtype, d.coefs.dtype, d.residual.dtype) == (varnel.TERM_DTYPE, np.complex128, x.dtype)
    np.testing.assert_allclose(d.signal() + d.residual, x, rtol=0, atol=tolerance * np.max(np.abs(x)))
    assert d.residual_percent == pytest.approx(100 * energy(d.residual) / energy(x), rel=1e-12)
    assert d.residual_percent < 0.1
    np.testing.assert_allclose(d.terms_in_seconds()["time"], d.terms["tc"] / 4000.0, rtol=1e-15)


def test_a_pursuit_that_stops_early_keeps_the_rejected_candidate_subtracted():
    # On noise a candidate that does not lower the energy ends the pursuit:
    # not among the terms, but subtracted from the residual.
    x = np.random.default_rng(1).standard_normal(600)
    d = varnel.adaptive_transform(x, 30)
    assert 0 < len(d) < 30
    kept = varnel.adaptive_transform(x, len(d))
    np.testing.assert_array_equal(kept.terms, d.terms)
    assert d.residual_percent == pytest.approx(100 * energy(kept.residual) / energy(x), rel=1e-12)
    assert energy(d.residual) >= energy(kept.residual)
    x[37] = np.nan  # unchecked, it stops at its first candidate
    d = varnel.adaptive_transform(x, 4, check_finite=False)
    assert len(d) == 0 and np.isnan(d.residual_percent)


def test_spectrogram_of_the_terms():
    d = varnel.adaptive_transform(bursts(True), 12, fs=4000.0)
    S = d.spectrogram()  # about 512 rows over the signal, all 512 bins of a complex signal
    assert S.shape == (512, 512)
    np.testing.assert_allclose(S.times, 4 * np.arange(512) / 4000.0)
    np.testing.assert_allclose(S.freqs, varnel.frequencies(512, 4000.0))
    # Fine enough a grid for the cells of each term to sum to |c|^2 / hop.
    assert np.sum(d.spectrogram(hop=4, bins=1024)) * 4 == pytest.approx(energy(d.coefs), rel=1e-6)
    real = varnel.adaptive_transform(bursts(False), 3, fs=4000.0).spectrogram(hop=8, bins=256)
    assert real.shape == (256, 128) and real.freqs[-1] == pytest.approx(127 * 4000.0 / 256)


def test_options_reach_the_library():
    x = bursts(False)
    base = varnel.adaptive_transform(x, 6)
    spelled = varnel.adaptive_transform(x, 6, window_length=N, extension=raw.ExtensionMode.Zero, range_factor=4.0,
                                        max_attempts=10)  # the defaults, given
    np.testing.assert_array_equal(spelled.terms, base.terms)
    assert np.all(varnel.adaptive_transform(x, 6, chirp=False).terms["beta"] == 0)
    for options in [dict(window_length=256), dict(extension="periodic"), dict(range_factor=1.0),
                    dict(max_attempts=1)]:
        assert not np.array_equal(varnel.adaptive_transform(x, 6, **options).terms, base.terms), options


@pytest.mark.parametrize("x,options,error,code,phrase", [
    (np.r_[np.ones(37), np.nan, np.inf], {}, varnel.ArgumentError, None, "x[37] is nan"),
    (np.ones(7), {}, varnel.ArgumentError, 1, "at least 8 samples (got 7)"),
    (np.ones(64), dict(max_terms=-1), varnel.ArgumentError, 25, "max_terms must not be negative"),
    (np.ones(64), dict(extension=4), varnel.ArgumentError, 4, "extension=4 is not"),
    (np.ones(64), dict(extension="mirror"), ValueError, None, "unknown extension"),
    (np.ones(64), dict(window_length=8), ValueError, None, "window_length=8"),
    (np.ones((2, 64)), {}, ValueError, None, "one channel"),
])
def test_refusals(x, options, error, code, phrase):
    with pytest.raises(error) as caught:
        varnel.adaptive_transform(x, **dict(dict(max_terms=4), **options))
    assert phrase in str(caught.value) and getattr(caught.value, "code", None) == code
