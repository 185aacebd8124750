"""Shared plumbing of the numpy layer: argument conversion, calls into the
library with status checking, and channel-by-channel processing.

A wrapper for a new export takes a handful of lines with these:

    x = signal(x)                                  # float64 or complex128, 1-D or 2-D
    def one(channel):
        out = np.empty(size)
        call("WVD", pointer(channel), None, len(channel), ..., pointer(out),
             context=dict(kind="wvd", n=len(channel)))
        return out.reshape(slices, bins)
    values = per_channel(one, x, workers)
"""
import concurrent.futures
import math
import numbers
import operator

import numpy as np

from . import raw
from .errors import ArgumentError, check

INT32_MAX = 2 ** 31 - 1

# The refusal of a non-finite value: what the library would do with it,
# and how to hand it over anyway.
SPREADS = "the library would carry it into every value computed from it (an FFT spreads it over its whole frame)"
LET_THROUGH = "pass check_finite=False to let non-finite values through"


def require_finite(array, name="x", consequence=SPREADS, advice=LET_THROUGH):
    """Raise ArgumentError naming the first NaN or infinity of ``array``
    (in C order) by its index and value, e.g. "x[1, 2047] is nan; ...";
    return the array unchanged when all its values are finite. Arrays of
    integers or booleans pass without a look."""
    values = np.asarray(array)
    if values.dtype.kind not in "fc" or values.size == 0:
        return array
    with np.errstate(all="ignore"):
        # A finite sum proves every value finite without a mask the size of
        # the array; a sum that overflowed is looked at value by value.
        if np.isfinite(values.sum()):
            return array
        bad = ~np.isfinite(values)
    if not bad.any():
        return array
    index = np.unravel_index(int(np.argmax(bad)), values.shape)
    value = values[index].item()
    raise ArgumentError.refused("%s[%s] is %r; %s%s" % (name, ", ".join(str(int(i)) for i in index), value,
                                                      consequence, "; " + advice if advice else ""))


def require_finite_through(result, source, name, *also):
    """Raise as require_finite does for ``source`` when ``result``, which
    every value of ``source`` reaches (a NaN or infinity spreads into it),
    or one of the arrays ``also`` holds a NaN or infinity: a look at a
    result smaller than its source instead of at the source itself, which
    is searched only then."""
    with np.errstate(all="ignore"):
        if all(np.isfinite(np.sum(a)) for a in (result,) + also):
            return
    require_finite(source, name)


def signal(x, name="x", *, check_finite=False):
    """x as a C-contiguous float64 or complex128 array of 1 (samples) or 2
    (channels x samples) dimensions; complex only when x is complex. With
    ``check_finite`` a NaN or infinity raises ArgumentError naming it."""
    array = np.asarray(x)
    if array.ndim not in (1, 2):
        raise ValueError("%s must be 1-D (samples) or 2-D (channels x samples), not of shape %s"
                         % (name, array.shape))
    if array.dtype.kind not in "biufc":
        raise TypeError("%s must hold numbers, not %s" % (name, array.dtype))
    if array.ndim == 2 and array.shape[0] == 0:
        raise ValueError("%s has no channels" % name)
    dtype = np.complex128 if array.dtype.kind == "c" else np.float64
    # Aligned too: an array over a byte buffer (unpickled, received, mapped)
    # can start at any byte, and the library reads whole doubles.
    array = np.require(array, dtype=dtype, requirements="CA")
    if array.shape[-1] > INT32_MAX:
        raise ValueError("%s is too long for the library's 32-bit lengths" % name)
    if check_finite:
        require_finite(array, name)
    return array


def window(w, name="window", *, check_finite=True):
    """A real window as a C-contiguous 1-D float64 array. Refused with
    ArgumentError: an empty window and one that is zero everywhere (every
    frame would be zero), and with ``check_finite`` a non-finite sample."""
    array = np.asarray(w)
    if array.ndim != 1:
        raise ValueError("%s must be a 1-D array of samples, not of shape %s" % (name, array.shape))
    if array.dtype.kind == "c":
        raise TypeError("%s must be real" % name)
    if array.dtype.kind not in "biuf":
        raise TypeError("%s must hold numbers, not %s" % (name, array.dtype))
    if len(array) > INT32_MAX:
        raise ValueError("%s is too long" % name)
    array = np.require(array, dtype=np.float64, requirements="CA")
    if len(array) == 0:
        raise ArgumentError.refused("the %s is empty (0 samples); every frame would be zero" % name)
    if check_finite:
        require_finite(array, name, "it would make every frame it touches non-finite")
    if not np.any(array != 0):
        one = len(array) == 1
        raise ArgumentError.refused("the %s is zero everywhere (%d sample%s), so every result would be zero%s"
                                    % (name, len(array), "" if one else "s",
                                       "; a periodic Hann of one sample, 0.5 - 0.5*cos(0), is [0]" if one else ""))
    return array


def integer(value, name):
    """An int that fits the library's int32 arguments. A float (or 0-d
    float array) with an integral value counts as that integer (64.0 as
    64); True and False, other floats and non-numbers raise TypeError."""
    if isinstance(value, (bool, np.bool_)):
        raise TypeError("%s must be an integer, not %r" % (name, value))
    try:
        value = operator.index(value)
    except TypeError:
        number = value
        if isinstance(value, np.ndarray) and value.ndim == 0 and value.dtype.kind == "f":
            number = value.item()
        if not isinstance(number, numbers.Real) or isinstance(number, numbers.Integral):
            raise TypeError("%s must be an integer, not %r" % (name, value)) from None
        number = float(number)
        if not (math.isfinite(number) and number.is_integer()):
            raise TypeError("%s must be an integer (a float only with a whole value, as 64.0), not %r"
                            % (name, number)) from None
        value = int(number)
    if not -2 ** 31 <= value <= INT32_MAX:
        raise ValueError("%s=%d does not fit a 32-bit integer" % (name, value))
    return value


def real_number(value, name):
    """A finite float from a real number (True, False, strings and complex
    numbers raise TypeError, NaN and infinities ArgumentError)."""
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, numbers.Real) and not (
            isinstance(value, np.ndarray) and value.ndim == 0 and value.dtype.kind in "iuf"):
        raise TypeError("%s must be a real number, not %r" % (name, value))
    number = float(value)
    if not math.isfinite(number):
        raise ArgumentError.refused("%s must be a finite number (got %r)" % (name, number))
    return number


def sample_rate(fs):
    """fs as a float: a positive finite number of Hz (a sample rate of 0
    or below puts the axes at infinity or backwards)."""
    fs = real_number(fs, "fs")
    if not fs > 0:
        raise ArgumentError.refused("fs must be a positive number of Hz (got %r)" % fs)
    return fs


def pointer(array):
    """POINTER(c_double) to the first double of a float64 or complex128
    array (complex data is the interleaved Cx layout), None for None."""
    if array is None:
        return None
    return raw.pointer(array)


def call(function, *args, context=None):
    """Call the export ``function`` and raise VarnelError on a nonzero status."""
    status = getattr(raw, function)(*args)
    return check(status, function, context)


def per_channel(one, x, workers=None):
    """one(channel) for a 1-D x, or stacked over the rows of a 2-D x; with
    ``workers`` > 1 the rows run in that many threads (the library is
    thread-safe and ctypes releases the GIL during each call)."""
    if x.ndim == 1:
        return one(x)
    if workers is not None:
        workers = integer(workers, "workers")
        if workers < 1:
            raise ValueError("workers must be at least 1 (got %d)" % workers)
    if workers is None or workers == 1 or len(x) < 2:
        return np.stack([one(row) for row in x]) if len(x) else np.empty((0,))
    with concurrent.futures.ThreadPoolExecutor(max_workers=min(workers, len(x))) as pool:
        return np.stack(list(pool.map(one, x)))


def hc_to_complex(hc, onesided, out=None):
    """Frames of Hc spectra (..., n) as complex bins: 0 .. n/2 when onesided,
    else all n in FFT order; written into ``out`` when given (it must not
    overlap ``hc``)."""
    n = hc.shape[-1]
    half = n // 2 + 1
    top = (n + 1) // 2  # bins 1 .. top-1 have a stored imaginary part
    # Every element is written straight from the Hc values, so the array
    # need not come zeroed and no intermediate is made: large zeroed arrays
    # are fresh pages faulted in one by one, which took most of the time.
    if out is None:
        out = np.empty(hc.shape[:-1] + (half if onesided else max(n, half),), dtype=np.complex128)
    out.real[..., :half] = hc[..., :half]
    out.imag[..., :half:max(half - 1, 1)] = 0.0  # bin 0, and the Nyquist bin of an even n
    if top > 1:
        out.imag[..., 1:top] = hc[..., n - 1:n - top:-1]
    if not onesided and n > half:
        # Bin k >= half is conj X[n-k]: real part at Hc slot n-k, imaginary
        # part minus the one stored at slot k.
        out.real[..., half:] = hc[..., n - half:0:-1]
        np.negative(hc[..., half:], out=out.imag[..., half:])
    return out


def complex_to_hc(bins, n, out=None):
    """Bins 0 .. n/2 (..., n//2 + 1) of real signals' spectra as Hc arrays
    (..., n); imaginary parts of bin 0 and of the Nyquist bin are dropped,
    as the real transforms never produce them. Written into ``out`` when
    given."""
    hc = np.empty(bins.shape[:-1] + (n,), dtype=np.float64) if out is None else out
    half = n // 2 + 1
    hc[..., :half] = bins.real[..., :half]
    top = (n + 1) // 2
    if top > 1:
        hc[..., n - 1:n - top:-1] = bins.imag[..., 1:top]
    return hc
