"""Statuses to exceptions with the library's code, name and a sentence
naming the argument; shapes, types, non-finite values and values the
library would accept and turn into nothing useful refused in Python."""
import numpy as np
import pytest

import varnel
from varnel import errors, raw

pytestmark = pytest.mark.usefixtures("library")

HANN, X = np.hanning(64), np.random.default_rng(1).standard_normal(1000)
G = dict(window=np.ones(64), hop=16, bins=64)
ONES16, IN64, OUT64 = np.ones(16), np.zeros(64), np.zeros(64)
CASES = [  # call, library code, phrase
    (lambda: varnel.spectrogram(X[:64], window=HANN, hop=16, bins=64), 1, "must be longer than the window"),
    (lambda: varnel.spectrogram(X, window=HANN, hop=16, bins=48), 29, "bins=48 is not a power of two"),
    (lambda: varnel.stft(X, window=HANN, hop=0, bins=64), 29, "hop must be at least 1"),
    (lambda: varnel.stft(X + 1j, window=HANN, hop=4, bins=0), 29, "bins must be at least 1"),
    (lambda: varnel.dgt(X, window=np.ones(64), hop=24, bins=64, dual=False), 29, "not a multiple of hop=24"),
    (lambda: varnel.dgt(X, window=np.ones(64), hop=64, bins=32, dual=False), 29, "larger than bins"),
    (lambda: varnel.dgt(X[:16], dual=False, **G), 1, "exactly one hop"),
    (lambda: varnel.dual_window(np.ones(60), 16, 32), 1, "positive multiple of both hop=16 and bins=32"),
    (lambda: varnel.dual_window(np.ones(64), 32, 16), 29, "larger than bins"),
    (lambda: errors.check(raw.FastDual(raw.pointer(ONES16), 16, 4, 8, 2, raw.pointer(OUT64)), "FastDual"), -20061,
     "selector"),
    (lambda: varnel.dge(np.zeros((0, 33)), **G), 1, "no coefficient frames"),
    (lambda: varnel.dge(np.zeros((4, 33)), length=0, **G), 1, "output length must be at least 1"),
    (lambda: varnel.extend(X, 3, mode=4), 4, "extension rule"),
    (lambda: varnel.extend(X[:1], 3, mode="linear"), 1, "linear rule"),
    (lambda: varnel.extend(X, -1), 1, "must not be negative"),
    (lambda: errors.check(raw.CxDGTEx(raw.pointer(IN64), raw.pointer(IN64, 1), 3, 16, raw.window_spec(
        np.ones(8), 4, 8), raw.pointer(OUT64), raw.pointer(OUT64, 1), 2), "CxDGTEx"), -1, "layout"),  # bad stride
]


@pytest.mark.parametrize("call,code,phrase", CASES, ids=[c[2] for c in CASES])
def test_invalid_arguments_raise_the_library_code(call, code, phrase):
    with pytest.raises(varnel.ArgumentError) as caught:
        call()
    error = caught.value
    assert isinstance(error, varnel.VarnelError) and isinstance(error, ValueError)
    assert (error.code, error.name) == (code, varnel.Status(code).name)
    assert phrase in error.message and error.name in str(error)


@pytest.mark.parametrize("code,cls,base", [
    (-20001, varnel.OutOfMemoryError, MemoryError), (-20062, varnel.NumericalError, varnel.VarnelError),
    (-20003, varnel.NumericalError, varnel.VarnelError), (29, varnel.ArgumentError, ValueError),
    (-12345, varnel.VarnelError, varnel.VarnelError)])
def test_code_families(code, cls, base):
    with pytest.raises(cls) as caught:
        errors.check(code, "SomeExport")
    assert isinstance(caught.value, base) and (caught.value.function, caught.value.code) == ("SomeExport", code)
    assert set(errors.SENTENCES) == {int(s) for s in varnel.Status}  # a sentence for every status of the header


@pytest.mark.parametrize("call,exception", [
    (lambda: varnel.stft(np.zeros((2, 2, 100)), window=HANN, hop=4, bins=64), ValueError),
    (lambda: varnel.stft(X, window=np.ones((4, 4)), hop=4, bins=64), ValueError),
    (lambda: varnel.stft(X, window=HANN + 0j, hop=4, bins=64), TypeError),
    (lambda: varnel.stft(np.array(["a", "b"]), window=HANN, hop=4, bins=64), TypeError),
    (lambda: varnel.stft(X, window=HANN, hop=4.5, bins=64), TypeError),
    (lambda: varnel.stft(X, window=HANN, hop=np.nan, bins=64), TypeError),
    (lambda: varnel.stft(X, window=HANN, hop=True, bins=64), TypeError),
    (lambda: varnel.stft(X, window=HANN, hop="4", bins=64), TypeError),
    (lambda: varnel.stft(X, nperseg=256.5), TypeError), (lambda: varnel.cwd(X[:512], bins=64, sigma="big"), TypeError),
    (lambda: varnel.dgt(X, window=np.ones(48)), ValueError),  # give bins=: 48 is no power of two
    (lambda: varnel.stft(X, scaling="density"), ValueError), (lambda: varnel.get_window(("kaiser",), 64), ValueError),
    (lambda: varnel.spectrogram(X, boundary="mirror"), ValueError),
    (lambda: varnel.spectrogram(X, boundary=4), ValueError),
    (lambda: varnel.stft(X, window=HANN, hop=2 ** 31, bins=64), ValueError),
    (lambda: varnel.stft(X + 1j, window=HANN, hop=4, bins=64, onesided=True), ValueError),
    (lambda: varnel.dge(np.zeros((4, 20)), window=np.ones(64), hop=16, bins=64), ValueError),
    (lambda: varnel.extend(X, 3, mode="mirror"), ValueError),
    (lambda: varnel.stft(np.zeros((3, 200)), window=HANN, hop=4, bins=64, workers=0), ValueError),
])
def test_shapes_and_types_are_checked_before_the_call(call, exception):
    with pytest.raises(exception) as caught:
        call()
    assert not isinstance(caught.value, varnel.VarnelError)


def _with(array, index, value):
    array = np.array(array, dtype=np.result_type(array, type(value)))
    array[index] = value
    return array


X2 = np.random.default_rng(2).standard_normal((2, 1024))
BAD2, BAD1, BAD_WINDOW = _with(X2, (1, 37), np.nan), _with(X2[0], 37, -np.inf), _with(np.hanning(64), 3, np.inf)
COEFS, TERMS, KERNEL = np.ones((8, 33), dtype=complex), varnel.terms(0.01, 50.0, 0.5), np.ones((64, 1024))
Q = dict(bins=64, hop=8)
FINITE = [  # function, arguments, the start of the sentence
    (varnel.stft, (BAD2,), {}, "x[1, 37] is nan"),
    (varnel.stft, (X2,), dict(window=BAD_WINDOW, hop=16), "window[3] is inf"),
    (varnel.spectrogram, (BAD2, 8000), {}, "x[1, 37] is nan"),
    (varnel.spectrogram, (BAD1,), dict(scaling="density"), "x[37] is -inf"),
    (varnel.istft, (_with(np.asarray(varnel.stft(X2[0])), (2, 5), np.nan),), {}, "S[2, 5] is (nan+0j)"),
    (varnel.dgt, (BAD2,), {}, "x[1, 37] is nan"),
    (varnel.dgt, (X2,), dict(window=BAD_WINDOW, hop=16, bins=64), "window[3] is inf"),
    (varnel.dge, (_with(COEFS, (2, 5), np.inf),), dict(window=np.hanning(64), hop=16, bins=64),
     "coefficients[2, 5] is (inf+0j)"),
    (varnel.dual_window, (BAD_WINDOW, 16, 64), {}, "window[3] is inf"),
    (varnel.get_window, (BAD_WINDOW,), {}, "window[3] is inf"),
    (varnel.extend, (BAD1, 5), {}, "x[37] is -inf"),
    (varnel.wvd, (BAD2,), Q, "x[1, 37] is nan"),
    (varnel.cohen, (BAD1, KERNEL), Q, "x[37] is -inf"),
    (varnel.cohen, (X2[0], _with(KERNEL, (0, 9), np.nan)), Q, "kernel[0, 9] is nan"),
    (varnel.cwd, (BAD2,), Q, "x[1, 37] is nan"),
    (varnel.csd, (BAD2,), Q, "x[1, 37] is nan"),
    (varnel.gabor_coefficients, (BAD2,), dict(hop=16, bins=64), "x[1, 37] is nan"),
    (varnel.gabor_sp, (_with(COEFS[:, :32], (2, 5), np.nan),), dict(hop=16), "coefficients[2, 5] is (nan+0j)"),
    (varnel.gabor_spectrogram, (BAD2,), dict(hop=16, bins=64), "x[1, 37] is nan"),
    (varnel.mean_instantaneous_frequency, (BAD2,), dict(hop=16, bins=64), "x[1, 37] is nan"),
    (varnel.instantaneous_frequency, (_with(np.ones((9, 16)), (4, 2), -np.inf),), {}, "tfmap[4, 2] is -inf"),
    (varnel.reassigned_spectrogram, (BAD2,), {}, "x[1, 37] is nan"),
    (varnel.adaptive_expansion, (TERMS, np.nan, 100), dict(real=True), "coefs[0] is (nan+0j)"),
    (varnel.adaptive_spectrogram, (TERMS, [np.inf]), dict(hop=4, bins=64, length=100, real=False),
     "coefs[0] is (inf+0j)"),
    (varnel.adaptive_transform, (BAD1, 3), {}, "x[37] is -inf"),
]


@pytest.mark.parametrize("function,args,kwargs,phrase", FINITE, ids=[f[0].__name__ for f in FINITE])
def test_non_finite_values_are_named_unless_let_through(function, args, kwargs, phrase):
    with pytest.raises(varnel.ArgumentError) as caught:
        function(*args, **kwargs)
    assert caught.value.code is None and str(caught.value).startswith(phrase + "; ")
    if phrase.startswith("coefs"):  # the library refuses such terms itself (status 32)
        with pytest.raises(varnel.ArgumentError, match="coefficient of term 0") as caught:
            function(*args, check_finite=False, **kwargs)
        return
    assert "pass check_finite=False" in str(caught.value)
    result = function(*args, check_finite=False, **kwargs)  # the library's documented propagation
    values = result.residual if isinstance(result, varnel.AdaptiveDecomposition) else np.asarray(result)
    # (FastDual gives a non-finite window sample's residue zero dual samples.)
    assert np.all(np.isfinite(values)) == (function in (varnel.dgt, varnel.dual_window) and "window" in phrase)


UNCHECKED = [  # values the library would accept without a word
    ("empty window", lambda: varnel.stft(X, window=np.zeros(0), hop=4, bins=64), "window is empty"),
    ("zero window", lambda: varnel.spectrogram(X, window=np.zeros(64), hop=4, bins=64), "zero everywhere"),
    ("periodic Hann of one sample", lambda: varnel.stft(X, window=np.zeros(1), hop=1, bins=1),
     "a periodic Hann of one sample"),
    ("zero Gabor window", lambda: varnel.dgt(X, window=np.zeros(64), hop=16, bins=64), "zero everywhere"),
    ("zero dual window", lambda: varnel.dual_window(np.zeros(16), 4, 8), "zero everywhere"),
    ("zero synthesis window", lambda: varnel.dge(np.ones((4, 33)), window=np.zeros(64), hop=16, bins=64),
     "zero everywhere"),
    ("zero reassigned window", lambda: varnel.reassigned_spectrogram(X, window=np.zeros(8)), "zero everywhere"),
    ("named window of no samples", lambda: varnel.get_window("hann", 0), "at least 1 sample (got a length of 0)"),
    ("negative sigma", lambda: varnel.cwd(X[:512], bins=64, sigma=-1), "sigma must not be negative (got -1.0)"),
    ("NaN sigma", lambda: varnel.cwd(X[:512], bins=64, sigma=np.nan), "sigma must be a finite number"),
    ("negative alpha", lambda: varnel.csd(X[:512], bins=64, alpha=-1), "alpha=0 gives the pure cone"),
    ("infinite alpha", lambda: varnel.csd(X[:512], bins=64, alpha=np.inf), "alpha must be a finite number"),
    ("Gaussian of length 0", lambda: varnel.gaussian(0), "length of at least 1 sample (got 0)"),
    ("Gaussian variance 0", lambda: varnel.gaussian(16, variance=0.0), "variance must be positive"),
    ("Gaussian variance inf", lambda: varnel.gaussian(16, variance=np.inf), "variance must be a finite"),
    ("Gaussian centre nan", lambda: varnel.gaussian(16, centre=np.nan), "centre must be a finite"),
    ("istft with fewer values than samples",
     lambda: varnel.istft(np.ones((4, 8)), window=np.ones(32), hop=16, bins=8), "no inverse"),
    ("boundary of an empty signal", lambda: varnel.stft(np.zeros(0), boundary="zero"), "signal is empty"),
]


@pytest.mark.parametrize("call,phrase", [u[1:] for u in UNCHECKED], ids=[u[0] for u in UNCHECKED])
def test_unchecked_values_are_refused_with_a_sentence(call, phrase):
    with pytest.raises(varnel.ArgumentError) as caught:
        call()
    assert caught.value.code is None and phrase in str(caught.value)


@pytest.mark.parametrize("spelled", [dict(hop=64.0), dict(hop=np.float64(64)), dict(hop=np.array(64.0)),
                                     dict(hop=np.int16(64), bins=256.0), dict(nperseg=256.0, workers=2.0)])
def test_integral_floats_count_as_integers(spelled):
    x = np.random.default_rng(3).standard_normal((2, 2000))
    np.testing.assert_array_equal(varnel.stft(x, **spelled), varnel.stft(x, hop=64, bins=256))
