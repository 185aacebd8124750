"""Statuses to exceptions: invalid arguments raise VarnelError subclasses
with the library's own code, its constant name and a sentence that names
the argument at fault; shapes and types are refused in Python before the
library is called."""
import ctypes

import numpy as np
import pytest

import varnel
from varnel import errors, raw

pytestmark = pytest.mark.usefixtures("library")

HANN = np.hanning(64)
X = np.random.default_rng(1).standard_normal(1000)


def _dual_mode(mode):
    g = np.ones(16)
    dual = np.empty(16)
    status = raw.FastDual(raw.pointer(g), 16, 4, 8, mode, raw.pointer(dual))
    errors.check(status, "FastDual")


def _strided_dgt(stride):
    x, out = np.zeros(64), np.zeros(64)
    spec = raw.window_spec(np.ones(8), 4, 8)
    status = raw.CxDGTEx(raw.pointer(x), raw.pointer(x, 1), stride, 16, spec, raw.pointer(out),
                         raw.pointer(out, 1), 2)
    errors.check(status, "CxDGTEx")


CASES = [
    ("signal not longer than the window",
     lambda: varnel.spectrogram(X[:64], window=HANN, hop=16, bins=64), 1, "must be longer than the window"),
    ("bins not a power of two",
     lambda: varnel.spectrogram(X, window=HANN, hop=16, bins=48), 29, "bins=48 is not a power of two"),
    ("zero hop", lambda: varnel.stft(X, window=HANN, hop=0, bins=64), 29, "hop must be at least 1"),
    ("complex stft, zero bins", lambda: varnel.stft(X + 1j, window=HANN, hop=4, bins=0), 29,
     "bins must be at least 1"),
    ("Gabor window not a multiple of hop",
     lambda: varnel.dgt(X, window=np.ones(64), hop=24, bins=64, dual=False), 29, "not a multiple of hop=24"),
    ("Gabor hop above bins",
     lambda: varnel.dgt(X, window=np.ones(64), hop=64, bins=32, dual=False), 29, "larger than bins"),
    ("Gabor signal of one hop", lambda: varnel.dgt(X[:16], window=np.ones(64), hop=16, bins=64, dual=False),
     1, "exactly one hop"),
    ("dual window length", lambda: varnel.dual_window(np.ones(60), 16, 32), 1,
     "positive multiple of both hop=16 and bins=32"),
    ("dual window hop above bins", lambda: varnel.dual_window(np.ones(64), 32, 16), 29, "larger than bins"),
    ("dual window mode", lambda: _dual_mode(2), -20061, "selector"),
    ("expansion without frames",
     lambda: varnel.dge(np.zeros((0, 33)), window=np.ones(64), hop=16, bins=64), 1, "no coefficient frames"),
    ("expansion output length",
     lambda: varnel.dge(np.zeros((4, 33)), window=np.ones(64), hop=16, bins=64, length=0), 1,
     "output length must be at least 1"),
    ("extension rule 4", lambda: varnel.extend(X, 3, mode=4), 4, "extension rule"),
    ("linear extension of one sample", lambda: varnel.extend(X[:1], 3, mode="linear"), 1, "linear rule"),
    ("negative extension", lambda: varnel.extend(X, -1), 1, "must not be negative"),
    ("interleaved layout with a wrong stride", lambda: _strided_dgt(3), -1, "layout"),
]


@pytest.mark.parametrize("call,code,phrase", [c[1:] for c in CASES], ids=[c[0] for c in CASES])
def test_invalid_arguments_raise_the_library_code(call, code, phrase):
    with pytest.raises(varnel.ArgumentError) as caught:
        call()
    error = caught.value
    assert isinstance(error, varnel.VarnelError) and isinstance(error, ValueError)
    assert error.code == code
    assert error.name == varnel.Status(code).name
    assert phrase in error.message
    assert error.name in str(error)


@pytest.mark.parametrize("code,cls,base", [
    (-20001, varnel.OutOfMemoryError, MemoryError),
    (-20062, varnel.NumericalError, varnel.VarnelError),
    (-20003, varnel.NumericalError, varnel.VarnelError),
    (29, varnel.ArgumentError, ValueError),
])
def test_code_families(code, cls, base):
    with pytest.raises(cls) as caught:
        errors.check(code, "SomeExport")
    assert isinstance(caught.value, base)
    assert caught.value.function == "SomeExport"
    assert caught.value.message == errors.SENTENCES[code]


def test_unknown_code_is_still_an_error():
    with pytest.raises(varnel.VarnelError) as caught:
        errors.check(-12345, "SomeExport")
    assert caught.value.name == "unknown status" and caught.value.code == -12345


def test_every_status_has_a_sentence():
    assert set(errors.SENTENCES) == {int(s) for s in varnel.Status}


@pytest.mark.parametrize("call,exception", [
    (lambda: varnel.stft(np.zeros((2, 2, 100)), window=HANN, hop=4, bins=64), ValueError),
    (lambda: varnel.stft(X, window=np.ones((4, 4)), hop=4, bins=64), ValueError),
    (lambda: varnel.stft(X, window=HANN + 0j, hop=4, bins=64), TypeError),
    (lambda: varnel.stft(np.array(["a", "b"]), window=HANN, hop=4, bins=64), TypeError),
    (lambda: varnel.stft(X, window=HANN, hop=4.5, bins=64), TypeError),
    (lambda: varnel.stft(X, window=HANN, hop=2 ** 31, bins=64), ValueError),
    (lambda: varnel.stft(X + 1j, window=HANN, hop=4, bins=64, onesided=True), ValueError),
    (lambda: varnel.dge(np.zeros((4, 20)), window=np.ones(64), hop=16, bins=64), ValueError),
    (lambda: varnel.gaussian(16, variance=0.0), ValueError),
    (lambda: varnel.extend(X, 3, mode="mirror"), ValueError),
    (lambda: varnel.stft(np.zeros((3, 200)), window=HANN, hop=4, bins=64, workers=0), ValueError),
])
def test_shapes_and_types_are_checked_before_the_call(call, exception):
    with pytest.raises(exception) as caught:
        call()
    assert not isinstance(caught.value, varnel.VarnelError)


def test_nothing_is_written_on_a_refused_call():
    # The records go to the library as they are; a refused call leaves the
    # caller's output and shift alone.
    out = np.full(64, 7.0)
    shift = ctypes.c_int32(5)
    spec = raw.window_spec(HANN, 16, 48)
    assert raw.ReSTFTWithShift(raw.pointer(X), len(X), spec, ctypes.byref(shift), raw.pointer(out)) == 29
    assert shift.value == 5 and np.all(out == 7.0)
