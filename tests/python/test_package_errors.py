"""Statuses to exceptions with the library's code, name and a sentence
naming the argument; shapes, types, non-finite values and values the
library would accept and turn into nothing useful refused in Python."""
import numpy as np
import pytest

import varnel
from varnel import errors

pytestmark = pytest.mark.usefixtures("library")

HANN, X = np.hanning(64), np.random.default_rng(1).standard_normal(1000)
G = dict(window=np.ones(64), hop=16, bins=64)
# call, what it raises, phrase of the sentence. What it raises: the
# library's status (its sentence names the argument, one case per cause the
# wrappers tell apart); None, refused in Python because the library would
# accept it and turn it into nothing useful (every window argument passes
# the same check, so one zero window stands for all); or Python's own
# exception for a shape or type, raised before the call.
REFUSED = [
    (lambda: varnel.spectrogram(X[:64], window=HANN, hop=16, bins=64), 1, "must be longer than the window"),
    (lambda: varnel.spectrogram(X, window=HANN, hop=16, bins=48), 29, "bins=48 is not a power of two"),
    (lambda: varnel.stft(X[:64] + 1j, window=HANN, hop=16, bins=64, boundary=None), 1,
     "must be longer than the window"),
    (lambda: varnel.stft(X, window=HANN, hop=0, bins=64), 29, "hop must be at least 1"),
    (lambda: varnel.dgt(X, window=np.ones(64), hop=24, bins=64, dual=False), 29, "not a multiple of hop=24"),
    (lambda: varnel.dgt(X, window=np.ones(64), hop=64, bins=32, dual=False), 29, "larger than bins"),
    (lambda: varnel.dgt(X[:16], dual=False, **G), 1, "exactly one hop"),
    (lambda: varnel.dual_window(np.ones(60), 16, 32), 1, "positive multiple of both hop=16 and bins=32"),
    (lambda: varnel.dge(np.zeros((0, 33)), **G), 1, "no coefficient frames"),
    (lambda: varnel.dgt2(np.ones((64, 16)), dual=False, hop2=16, **G), 1, "along the rows (axis 1): a signal of ex"),
    (lambda: varnel.dge2(np.zeros((2, 64, 2, 32)), **G), 29, "along the rows (axis 1): the coefficients have 32"),
    (lambda: varnel.dgt2(np.ones((64, 64)), hop2=0, **G), 29, "along the rows (axis 1): hop must be at least 1"),
    (lambda: varnel.extend(X[:1], 3, mode="linear"), 1, "linear rule"),
    (lambda: varnel.extend(X, -1), 1, "must not be negative"),
    (lambda: varnel.stft(X, window=np.zeros(0), hop=4, bins=64), None, "window is empty"),
    (lambda: varnel.spectrogram(X, window=np.zeros(64), hop=4, bins=64), None, "zero everywhere"),
    (lambda: varnel.stft(X, window=np.zeros(1), hop=1, bins=1), None, "a periodic Hann of one sample"),
    (lambda: varnel.get_window("hann", 0), None, "at least 1 sample (got a length of 0)"),
    (lambda: varnel.cwd(X[:512], bins=64, sigma=-1), None, "sigma must not be negative (got -1.0)"),
    (lambda: varnel.cwd(X[:512], bins=64, sigma=np.nan), None, "sigma must be a finite number"),
    (lambda: varnel.csd(X[:512], bins=64, alpha=-1), None, "alpha=0 gives the pure cone"),
    (lambda: varnel.stft(X, 0.0, scaling="psd"), None, "fs must be a positive number of Hz (got 0.0)"),
    (lambda: varnel.wvd(X[:512], bins=64, fs=-8000), None, "fs must be a positive number of Hz (got -8000.0)"),
    (lambda: varnel.gaussian(0), None, "length of at least 1 sample (got 0)"),
    (lambda: varnel.gaussian(16, variance=0.0), None, "variance must be positive"),
    (lambda: varnel.gaussian(16, centre=np.nan), None, "centre must be a finite"),
    (lambda: varnel.istft(np.ones((4, 8)), window=np.ones(32), hop=16, bins=8), None, "no inverse"),
    (lambda: varnel.istft(varnel.stft(X[:257], nperseg=2000, hop=1, bins=256, boundary="symmetric"), nperseg=2000,
                          hop=1, bins=256, boundary="symmetric"), None, "do not determine sample"),
    # Singular too, though rounding leaves the solver pivots above its zero
    # test: without the signal's length only the padding before x[0] is known.
    (lambda: varnel.istft(np.asarray(varnel.stft(X, window="blackman", nperseg=1024, hop=64, bins=128)),
                          window="blackman", nperseg=1024, hop=64, bins=128), None, "do not determine sample"),
    (lambda: varnel.stft(np.zeros(0), boundary="zero"), None, "signal is empty"),
    (lambda: varnel.stft(np.zeros((2, 2, 100)), window=HANN, hop=4, bins=64), ValueError, "must be 1-D"),
    (lambda: varnel.stft(np.zeros((0, 100)), window=HANN, hop=4, bins=64), ValueError, "has no channels"),
    (lambda: varnel.stft(X, window=np.ones((4, 4)), hop=4, bins=64), ValueError, "window must be a 1-D"),
    (lambda: varnel.stft(X, window=HANN + 0j, hop=4, bins=64), TypeError, "window must be real"),
    (lambda: varnel.stft(np.array(["a", "b"]), window=HANN, hop=4, bins=64), TypeError, "must hold numbers"),
    (lambda: varnel.stft(X, window=HANN, hop=4.5, bins=64), TypeError, "a float only with a whole value"),
    (lambda: varnel.stft(X, window=HANN, hop=True, bins=64), TypeError, "hop must be an integer, not True"),
    (lambda: varnel.stft(X, window=HANN, hop="4", bins=64), TypeError, "hop must be an integer, not '4'"),
    (lambda: varnel.cwd(X[:512], bins=64, sigma="big"), TypeError, "sigma must be a real number"),
    (lambda: varnel.dgt(X, window=np.ones(48)), ValueError, ""),  # give bins=: 48 is no power of two
    (lambda: varnel.stft(X, scaling="density"), ValueError, ""),
    (lambda: varnel.get_window(("kaiser",), 64), ValueError, ""),
    (lambda: varnel.spectrogram(X, boundary="mirror"), ValueError, ""),
    (lambda: varnel.stft(X, window=HANN, hop=2 ** 31, bins=64), ValueError, "does not fit a 32-bit integer"),
    (lambda: varnel.stft(X, window=HANN, hop=-2 ** 31 - 1, bins=64), ValueError, "does not fit a 32-bit integer"),
    (lambda: varnel.stft(X + 1j, window=HANN, hop=4, bins=64, onesided=True), ValueError, ""),
    (lambda: varnel.dge(np.zeros((4, 20)), window=np.ones(64), hop=16, bins=64), ValueError, ""),
    (lambda: varnel.dgt2(X), ValueError, "image must be 2-D"),
    (lambda: varnel.dgt2(np.ones((64, 64)) + 0j), TypeError, "real numbers"),
    (lambda: varnel.extend(X, 3, mode="mirror"), ValueError, ""),
    (lambda: varnel.stft(np.zeros((3, 200)), window=HANN, hop=4, bins=64, workers=0), ValueError, ""),
]


@pytest.mark.parametrize("call,raised,phrase", REFUSED)
def test_refusals_say_what_is_wrong(call, raised, phrase):
    with pytest.raises(raised if isinstance(raised, type) else varnel.ArgumentError) as caught:
        call()
    error = caught.value
    assert phrase in str(error)
    if isinstance(raised, type):
        assert not isinstance(error, varnel.VarnelError)
    else:
        assert (error.code, error.name) == (raised, None if raised is None else varnel.Status(raised).name)


@pytest.mark.parametrize("code,cls,base", [
    (-20001, varnel.OutOfMemoryError, MemoryError), (-20062, varnel.NumericalError, varnel.VarnelError),
    (-20003, varnel.NumericalError, varnel.VarnelError), (29, varnel.ArgumentError, ValueError),
    (-1, varnel.ArgumentError, ValueError), (-20061, varnel.ArgumentError, ValueError),  # layout, selector
    (-12345, varnel.VarnelError, varnel.VarnelError)])
def test_code_families(code, cls, base):
    with pytest.raises(cls) as caught:
        errors.check(code, "SomeExport")
    assert isinstance(caught.value, base) and (caught.value.function, caught.value.code) == ("SomeExport", code)
    assert caught.value.name in str(caught.value)
    assert set(errors.SENTENCES) == {int(s) for s in varnel.Status}  # a sentence for every status of the header


def _with(array, index, value):
    array = np.array(array, dtype=np.result_type(array, type(value)))
    array[index] = value
    return array


X2 = np.random.default_rng(2).standard_normal((2, 1024))
BAD2, BAD1, BAD_WINDOW = _with(X2, (1, 37), np.nan), _with(X2[0], 37, -np.inf), _with(np.hanning(64), 3, np.inf)
COEFS, TERMS, KERNEL = np.ones((8, 33), dtype=complex), varnel.terms(0.01, 50.0, 0.5), np.ones((64, 1024))
Q = dict(bins=64, hop=8)
G16 = dict(hop=16, bins=64)
# (wvd stands for cwd and csd: the three hand the signal to one check.)
FINITE = [(function, (BAD2,), kwargs, "x[1, 37] is nan") for function, kwargs in [
    (varnel.stft, {}), (varnel.dgt, {}), (varnel.wvd, Q), (varnel.gabor_coefficients, G16),
    (varnel.gabor_spectrogram, G16), (varnel.mean_instantaneous_frequency, G16), (varnel.reassigned_spectrogram, {})]]
FINITE += [  # function, arguments, the start of the sentence
    (varnel.stft, (X2,), dict(window=BAD_WINDOW, hop=16), "window[3] is inf"),
    (varnel.spectrogram, (BAD1,), dict(scaling="density"), "x[37] is -inf"),
    (varnel.istft, (_with(np.asarray(varnel.stft(X2[0])), (2, 5), np.nan),), {}, "S[2, 5] is (nan+0j)"),
    (varnel.dgt, (X2,), dict(window=BAD_WINDOW, hop=16, bins=64), "window[3] is inf"),
    (varnel.dge, (_with(COEFS, (2, 5), np.inf),), dict(window=np.hanning(64), hop=16, bins=64),
     "coefficients[2, 5] is (inf+0j)"),
    (varnel.dual_window, (BAD_WINDOW, 16, 64), {}, "window[3] is inf"),
    (varnel.extend, (BAD1, 5), {}, "x[37] is -inf"),
    (varnel.cohen, (BAD1, KERNEL), Q, "x[37] is -inf"),
    (varnel.cohen, (X2[0], _with(KERNEL, (0, 9), np.nan)), Q, "kernel[0, 9] is nan"),
    (varnel.gabor_sp, (_with(COEFS[:, :32], (2, 5), np.nan),), dict(hop=16), "coefficients[2, 5] is (nan+0j)"),
    (varnel.instantaneous_frequency, (_with(np.ones((9, 16)), (4, 2), -np.inf),), {}, "tfmap[4, 2] is -inf"),
    (varnel.instantaneous_frequency, (_with(np.ones((2, 9, 16)), (1, 8, 15), np.nan),), {}, "tfmap[1, 8, 15] is nan"),
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


# Expansions look for non-finite coefficients in their result, so the ones
# the result cannot show must be found too: imaginary parts of bins 0 and
# bins/2, which the real expansion ignores, and frames a short length cuts.
@pytest.mark.parametrize("index,length,bins", [((700, 3), None, 33), ((5, 0), None, 33), ((1023, 32), None, 33),
                                               ((700, 7), 8000, 33), ((700, 50), None, 64), ((700, 7), 8000, 64),
                                               ((3, 5), 1, 64)],
                         ids=["bin", "bin 0", "nyquist", "cut", "complex", "complex cut", "complex one sample"])
def test_expansion_names_every_non_finite_coefficient(index, length, bins):
    c = np.ones((1024, bins), dtype=complex)
    c[index] = complex(1, np.nan) if bins == 33 and index[1] in (0, 32) else np.nan
    with pytest.raises(varnel.ArgumentError, match=r"^coefficients\[%d, %d\] is" % index):
        varnel.dge(c, window=np.hanning(64), hop=16, bins=64, length=length)


# The same for the 2-D expansion, bins 0 and N1/2 down the columns included.
@pytest.mark.parametrize("index,value,shape", [((3, 5, 2, 7), np.nan, None), ((3, 0, 2, 0), complex(1, np.inf), None),
                                               ((1, 4, 0, 0), complex(1, np.nan), None),
                                               ((3, 5, 2, 7), np.inf, (20, 64))])
def test_2d_expansion_names_every_non_finite_coefficient(index, value, shape):
    c = np.ones((4, 8, 3, 16), dtype=complex)
    c[index] = value
    with pytest.raises(varnel.ArgumentError, match=r"^coefficients\[%d, %d, %d, %d\] is" % index):
        varnel.dge2(c, nperseg=16, hop=8, bins=8, nperseg2=16, hop2=16, bins2=16, shape=shape)


def test_a_map_whose_slice_energies_overflow_is_not_refused():
    freq, energy = varnel.instantaneous_frequency(np.full((3, 4), 1e308))
    assert np.all(np.isinf(energy)) and np.all(np.isfinite(freq))


@pytest.mark.parametrize("spelled", [dict(hop=64.0), dict(hop=np.float64(64)), dict(hop=np.array(64.0)),
                                     dict(hop=np.int16(64), bins=256.0), dict(nperseg=256.0, workers=2.0)])
def test_integral_floats_count_as_integers(spelled):
    x = np.random.default_rng(3).standard_normal((2, 2000))
    np.testing.assert_array_equal(varnel.stft(x, **spelled), varnel.stft(x, hop=64, bins=256))


def test_the_largest_32_bit_hop_is_taken():
    assert varnel.stft(X, window=HANN, hop=2 ** 31 - 1, bins=64, boundary=None).shape[0] == 1
