"""numpy layer of the adaptive representations and the reassigned spectrogram.

An adaptive representation is a list of Gaussian chirplet terms, each with
a complex coefficient. Term j describes, at integer sample n with
``u = n - tc``, the unit-energy chirplet

    g(n) = (alpha/pi)**0.25 * exp(-alpha u**2 / 2) * exp(1j (omega u + beta u**2 / 2))

whose instantaneous frequency is ``omega + beta u``. Units, as the library
takes them: ``alpha`` in 1/samples**2 (1/variance of the amplitude
envelope, > 0), ``tc`` in samples (fractional and outside the signal
allowed), ``omega`` in radians per sample (any real value), ``beta`` in
radians per sample**2.

    T = varnel.terms(alpha=0.01, tc=[100, 300], omega=[0.5, 2.0], beta=[0.0, 1e-3])
    x = varnel.adaptive_expansion(T, [1, 0.5j], 512, real=True)
    S = varnel.adaptive_spectrogram(T, [1, 0.5j], hop=4, bins=256, length=512, real=True)

Terms are a numpy structured array of ``TERM_DTYPE`` (the memory layout of
the C record ``AdaptiveTerm``, handed to the library without a copy);
``terms_in_seconds`` and ``terms_from_seconds`` convert to and from seconds
and Hz. ``real=True`` treats the terms as those of a real signal: the
expansion is real (each term mirrored into the other half of the spectrum)
and the spectrogram draws each term at its frequency folded into
[0, fs/2]. ``real`` has no default because the two readings differ by more
than a factor.

``adaptive_transform`` finds such terms for a signal: a greedy pursuit
that takes one Gaussian chirplet after another from what is left of the
signal, while the energy left keeps falling. It returns an
``AdaptiveDecomposition`` holding the terms, their coefficients and the
residual, which rebuilds the signal and draws its adaptive spectrogram:

    d = varnel.adaptive_transform(x, 40, fs=8000)
    d.residual_percent, len(d.terms)     # energy left in %, terms counted
    S = d.spectrogram(hop=16, bins=512)  # .times in s, .freqs in Hz
    y = d.signal()                       # ~ x - d.residual

``reassigned_spectrogram`` is a spectrogram whose cell energies are moved
to the centre of gravity of the signal energy around each cell, which
sharpens chirps and tones on the same grid as ``spectrogram``.
"""
import ctypes
import dataclasses
import math

import numpy as np

from . import axes, linear, raw
from ._arrays import INT32_MAX, call, integer, pointer, require_finite, sample_rate, signal
from .result import TFArray

FIELDS = ("alpha", "tc", "omega", "beta")

# The C record: four doubles in this order, 32 bytes, no padding.
TERM_DTYPE = np.dtype([(name, np.float64) for name in FIELDS])
assert TERM_DTYPE.itemsize == ctypes.sizeof(raw.AdaptiveTerm)

# The same terms in seconds and Hz at some sample rate: ``alpha`` in 1/s**2,
# ``time`` in s, ``frequency`` in Hz (not folded), ``rate`` in Hz/s.
SECONDS_DTYPE = np.dtype([(name, np.float64) for name in ("alpha", "time", "frequency", "rate")])

_term_p = ctypes.POINTER(raw.AdaptiveTerm)


def terms(alpha, tc, omega, beta=0.0):
    """A 1-D array of ``TERM_DTYPE`` terms from the four fields in library
    units (see the module); the arguments are broadcast against each other."""
    fields = np.broadcast_arrays(*(np.asarray(v, dtype=np.float64) for v in (alpha, tc, omega, beta)))
    if fields[0].ndim > 1:
        raise ValueError("the term fields broadcast to shape %s; give scalars or 1-D arrays"
                         % (fields[0].shape,))
    out = np.empty(fields[0].size, dtype=TERM_DTYPE)
    for name, values in zip(FIELDS, fields):
        out[name] = values.ravel()
    return out


def as_terms(t):
    """``t`` as a C-contiguous 1-D ``TERM_DTYPE`` array: a structured array
    with (at least) the fields alpha, tc, omega and beta, or a float array
    of shape (n, 4) with the fields in that order. A copy only where the
    layout differs."""
    array = np.asarray(t)
    if array.dtype.names is not None:
        missing = [name for name in FIELDS if name not in array.dtype.names]
        if missing:
            raise ValueError("terms lack the field(s) %s" % ", ".join(missing))
        if array.dtype != TERM_DTYPE:
            converted = np.empty(array.shape, dtype=TERM_DTYPE)
            for name in FIELDS:
                converted[name] = array[name]
            array = converted
    elif array.size == 0 and array.ndim == 1:
        array = np.empty(0, dtype=TERM_DTYPE)
    else:
        if array.dtype.kind not in "biuf" or array.ndim < 1 or array.shape[-1] != 4:
            raise ValueError("terms must be a structured array with fields alpha, tc, omega, beta or a "
                             "real array of shape (n, 4), not %s of shape %s" % (array.dtype, array.shape))
        array = np.ascontiguousarray(array, dtype=np.float64).view(TERM_DTYPE)[..., 0]
    array = np.atleast_1d(array)
    if array.ndim != 1:
        raise ValueError("terms must be 1-D (one record per term), not of shape %s" % (array.shape,))
    return np.ascontiguousarray(array)


def terms_in_seconds(terms, fs):
    """The terms as a ``SECONDS_DTYPE`` array at sample rate ``fs`` Hz:
    ``alpha * fs**2`` (1/s**2), ``tc / fs`` (s), ``omega * fs / (2 pi)`` (Hz,
    signed, not folded) and ``beta * fs**2 / (2 pi)`` (Hz/s)."""
    t, fs = as_terms(terms), sample_rate(fs)
    out = np.empty(t.shape, dtype=SECONDS_DTYPE)
    out["alpha"] = t["alpha"] * fs ** 2
    out["time"] = t["tc"] / fs
    out["frequency"] = t["omega"] * fs / (2 * math.pi)
    out["rate"] = t["beta"] * fs ** 2 / (2 * math.pi)
    return out


def terms_from_seconds(values=None, *, fs, alpha=None, time=None, frequency=None, rate=0.0):
    """Terms in library units from seconds and Hz at sample rate ``fs``: the
    inverse of ``terms_in_seconds``. Give either a ``SECONDS_DTYPE`` array
    or the keywords ``alpha`` (1/s**2), ``time`` (s), ``frequency`` (Hz) and
    ``rate`` (Hz/s), broadcast against each other."""
    fs = sample_rate(fs)
    if values is not None:
        values = np.asarray(values)
        if values.dtype.names is None or not set(SECONDS_DTYPE.names) <= set(values.dtype.names):
            raise ValueError("values must be a structured array with fields %s" % ", ".join(SECONDS_DTYPE.names))
        alpha, time, frequency, rate = (values[name] for name in SECONDS_DTYPE.names)
    elif alpha is None or time is None or frequency is None:
        raise TypeError("give a SECONDS_DTYPE array or alpha=, time= and frequency=")
    scale = 2 * math.pi / fs
    return terms(np.asarray(alpha) / fs ** 2, np.asarray(time) * fs, np.asarray(frequency) * scale,
                 np.asarray(rate) * scale / fs)


def _coefficients(coefs, count):
    c = np.asarray(coefs)
    if c.dtype.kind not in "biufc":
        raise TypeError("coefficients must hold numbers, not %s" % c.dtype)
    if c.ndim > 1 or (c.ndim == 1 and len(c) not in (1, count)):
        raise ValueError("there are %d terms but coefficients of shape %s" % (count, c.shape))
    return np.ascontiguousarray(np.broadcast_to(c.astype(np.complex128), (count,)))


def _inputs(t, coefs, check_finite):
    t = as_terms(t)
    c = _coefficients(coefs, len(t))
    if check_finite:
        require_finite(c, "coefs", "a chirplet term's coefficient must be finite (with check_finite=False the "
                                   "library refuses it, status 32)", advice=None)
    if len(t) > INT32_MAX:
        raise ValueError("too many terms for the library's 32-bit count")
    context = dict(kind="adaptive", terms=t, coefs=c)
    if len(t) == 0:
        # An empty sum is zero. One silent term (coefficient 0) lets the
        # library still check the output size or grid.
        t, c = terms(1.0, 0.0, 0.0), np.zeros(1, dtype=np.complex128)
    return t, c, context


def _term_pointer(t):
    return ctypes.cast(t.ctypes.data, _term_p)


def _inside(t, c, length):
    """Terms whose support (the samples within 9/sqrt(alpha) of tc) meets
    0 .. length-1, by the rule with which the complex expansion places
    them; terms the library will refuse are kept so that it names them."""
    alpha, tc = t["alpha"], t["tc"]
    with np.errstate(all="ignore"):
        w = 9.0 / np.sqrt(alpha)
        lo = np.maximum(np.floor(tc - w), 0.0)
        hi = np.minimum(np.ceil(tc + w) + 1.0, float(length))
        usable = (np.isfinite(alpha) & (alpha > 0) & np.isfinite(tc) & np.isfinite(t["omega"])
                  & np.isfinite(t["beta"]) & np.isfinite(c))
    return ~usable | (hi > lo)


def adaptive_expansion(terms, coefs, length, *, real, check_finite=True):
    """The signal rebuilt from chirplet terms, ``length`` samples from sample 0.

    ``real=False``: the complex sum of ``c_j g_j(n)`` over the samples within
    ``9/sqrt(alpha_j)`` of ``tc_j`` (complex128). ``real=True``: for each
    term, the real sequence whose spectrum is the half of the spectrum of
    ``c_j g_j`` on which omega_j (folded into [0, 2 pi)) lies, mirrored into
    the other half: ``2 Re(c_j g_j)`` for a term wholly on one side of the
    frequency axis, ``c_j g_j`` itself for a real coefficient with omega =
    beta = 0 (float64). A term outside the output adds nothing in either
    form; no terms give zeros. An unusable term (alpha not a finite positive
    number, or a non-finite field or coefficient) raises ArgumentError: a
    non-finite coefficient named as ``coefs[j]`` here, or with
    ``check_finite=False`` by the library (status 32), which refuses it too.
    """
    t, c, context = _inputs(terms, coefs, check_finite)
    length = integer(length, "length")
    context["length"] = length
    if real:
        out = np.empty(max(length, 0))
        call("ReAdaptiveExpansion", _term_pointer(t), pointer(c), len(t), length, pointer(out), context=context)
        return out
    # The complex export stops at a term that misses the output; such a
    # term contributes nothing, so it is left out here as the real form does.
    keep = _inside(t, c, length) if length >= 1 else True
    if not np.all(keep):
        if not np.any(keep):
            return np.zeros(length, dtype=np.complex128)
        t, c = np.ascontiguousarray(t[keep]), np.ascontiguousarray(c[keep])
    out = np.empty(max(length, 0), dtype=np.complex128)
    call("CxAdaptiveExpansion", _term_pointer(t), pointer(c), len(t), length, pointer(out), context=context)
    return out


def adaptive_spectrogram(terms, coefs, *, hop, bins, real, length=None, rows=None, start=0, first_bin=0, count=None,
                         fs=1.0, check_finite=True):
    """Time-frequency energy image of chirplet terms: the sum over the terms
    of the Wigner distribution of ``c_j g_j``, ``2 |c_j|**2 exp(-alpha u**2 -
    (nu - omega - beta u)**2 / alpha)``, divided by ``bins``, evaluated in
    closed form (no transform of a signal).

    Grid: row m is sample ``max(start, 0) + m*hop`` (a negative ``start``
    counts as 0); there are ``rows`` rows, by default enough to cover samples
    up to ``length - 1``. Column k is bin ``first_bin + k`` of ``bins`` bins
    over one turn (any positive integer, ``(first_bin + k) * fs / bins``
    Hz). ``count`` columns, by default the bins below fs/2 for ``real=True``
    (bins//2 when bins is even, as ``spectrogram``) and all bins for
    ``real=False``, less ``first_bin``.

    ``real=True`` draws each term at its frequency folded into [0, fs/2]
    (its chirp rate kept as stored); ``real=False`` draws it at ``omega +
    beta u`` wrapped around the bins, so a term near frequency 0 shows at
    both ends (freqs of the upper half are negative, FFT order).
    With this scaling the cells of a term well inside the grid sum to
    ``|c|**2 / hop``: ``S.sum() * hop`` is the energy of the complex terms,
    or half that of the real expansion (as ``spectrogram`` holds half of a
    real signal's energy in its positive bins).

    Returns a real TFArray (rows, count), ``.times`` in s, ``.freqs`` in Hz.
    Non-finite coefficients are refused as by ``adaptive_expansion``.
    """
    t, c, context = _inputs(terms, coefs, check_finite)
    hop, bins, fs = integer(hop, "hop"), integer(bins, "bins"), sample_rate(fs)
    start, first_bin = integer(start, "start"), integer(first_bin, "first_bin")
    origin = max(start, 0)
    if rows is not None:
        length = None  # only said in a refusal when the rows came from it
    else:
        if length is None:
            raise TypeError("give length= (the samples to cover) or rows=")
        length = integer(length, "length")
        # With an unusable hop or bin count any positive size lets the
        # library name that argument rather than the size.
        rows = -(-(length - origin) // hop) if hop >= 1 else 1
    rows = integer(rows, "rows")
    last = None
    if count is None:
        last = ((bins + 1) // 2 if real else bins) - 1
        count = last + 1 - first_bin if bins >= 1 else 1
    count = integer(count, "count")
    context.update(kind="adaptive-sp", rows=rows, count=count, hop=hop, bins=bins, first_bin=first_bin,
                   length=length, last=last)
    out = np.empty((max(rows, 0), max(count, 0)))
    call("ReAdaptiveSp" if real else "CxAdaptiveSp", pointer(c), _term_pointer(t), len(t), hop, bins, start,
         first_bin, rows, count, pointer(out), context=context)
    if real:
        freqs = (first_bin + np.arange(count, dtype=np.float64)) * (fs / bins)
    else:
        freqs = axes.frequencies(bins, fs, first=first_bin, count=count)
    return TFArray(out, axes.times(rows, hop, fs, offset=origin), freqs, fs,
                   "adaptive spectrogram: bins %d..%d of %d, row m at sample %d + m*%d"
                   % (first_bin, first_bin + count - 1, bins, origin, hop))


@dataclasses.dataclass(frozen=True, eq=False)
class AdaptiveDecomposition:
    """The result of ``adaptive_transform``.

    ``terms`` (``TERM_DTYPE``, in samples; see ``terms_in_seconds``) and
    ``coefs`` (complex128): the terms the pursuit kept, in the order found.
    ``residual``: the signal less every waveform the pursuit subtracted
    (float64 for a real signal, complex128 for a complex one): the kept
    terms' and, when it stopped before ``max_terms``, that of the candidate
    that did not lower the energy. ``residual_percent``: 100 times the
    energy left by the kept terms over that of the signal (NaN for a silent
    signal); after an early stop it differs slightly from the energy of
    ``residual``. ``real``: whether the terms are those of a real signal (each
    term stands for its real waveform, as ``adaptive_expansion(...,
    real=True)`` builds it). ``fs``: the sample rate in Hz; ``n``: the
    number of samples.
    """
    terms: np.ndarray
    coefs: np.ndarray
    residual: np.ndarray
    residual_percent: float
    real: bool
    fs: float
    n: int

    def __len__(self):
        return len(self.terms)

    def __repr__(self):
        return ("AdaptiveDecomposition(%d %s terms, residual %.4g %%, %d samples at %g Hz)"
                % (len(self.terms), "real" if self.real else "complex", self.residual_percent, self.n, self.fs))

    def expansion(self, length=None):
        """The signal rebuilt from the terms, ``length`` samples (default
        ``n``). For a complex signal this is ``x - residual`` to rounding.
        For a real one it is too while each term's envelope and spectrum die
        out within its support (9/sqrt(alpha) samples either side of tc, cut
        at the signal's length): the expansion rounds that support's ends
        differently from the transform, which matters for terms longer than
        the signal or reaching frequency 0 or fs/2 (by about 1e-5 of their
        amplitude for a stationary tone)."""
        return adaptive_expansion(self.terms, self.coefs, self.n if length is None else length, real=self.real)

    def signal(self):
        """The signal rebuilt from the terms: ``expansion()``."""
        return self.expansion()

    def spectrogram(self, hop=None, bins=512, **options):
        """The adaptive spectrogram of the terms (``adaptive_spectrogram``)
        over the signal's samples: rows ``hop`` samples apart (by default
        about 512 rows), ``bins`` bins over one turn, the bins below fs/2
        for a real signal. ``options`` go to ``adaptive_spectrogram``
        (``start``, ``first_bin``, ``count``, ``rows``)."""
        if hop is None:
            hop = max(1, -(-self.n // 512))
        options.setdefault("length", self.n)
        return adaptive_spectrogram(self.terms, self.coefs, hop=hop, bins=bins, real=self.real, fs=self.fs,
                                    **options)

    def terms_in_seconds(self):
        """The terms in seconds and Hz at ``fs`` (``SECONDS_DTYPE``)."""
        return terms_in_seconds(self.terms, self.fs)


# The longest window is window_length rounded up to a power of two; the
# coarse search scans windows of 16 samples and more, and the library gives
# up (as out of memory) on windows above 2^30 samples.
_WINDOW_RANGE = (16, 1 << 30)


def _optional(value, name, convert, usable, sentence):
    """value converted, or 0 (the library's default) for None."""
    if value is None:
        return 0
    value = convert(value, name)
    if not usable(value):
        raise ValueError("%s=%r %s (None selects the default)" % (name, value, sentence))
    return value


def _real_number(value, name):
    try:
        return float(value)
    except (TypeError, ValueError):
        raise TypeError("%s must be a number, not %r" % (name, value)) from None


# Said when a non-finite sample is refused: what the library would do.
_PURSUIT_STOPS = ("the adaptive transform needs finite samples (given non-finite ones it stops at its first "
                  "candidate with no term)")


def adaptive_transform(x, max_terms, *, window_length=None, chirp=True, extension="zero", fs=1.0,
                       range_factor=None, max_attempts=None, check_finite=True):
    """Decompose a 1-D signal into at most ``max_terms`` Gaussian chirplets
    by greedy pursuit; returns an ``AdaptiveDecomposition``.

    Each step finds the strongest component left in a family of Gaussian-
    windowed spectrograms of the residual (windows of ``window_length``
    rounded up to a power of two, halved down to 16 samples; by default the
    power of two nearest the signal's length), refines its time, frequency,
    spread and (with ``chirp=True``) chirp rate, and subtracts it with the
    coefficient ``sum(r * conj(g))``. The pursuit stops after ``max_terms``
    terms or at the first one that would not lower the residual's energy,
    which is not kept. A real signal (float or integer samples) is taken
    apart into real waveforms, each term standing for itself and its mirror
    at the negative frequency; a complex one into complex chirplets over the
    whole frequency circle.

    ``extension`` continues the residual beyond both ends for the
    spectrograms: a rule of ``extend`` by name, an ``ExtensionMode`` or its
    int. ``range_factor`` (default 4; ``inf`` rescans everything): after a
    subtraction the spectrograms are recomputed within this many
    ``sqrt(2/alpha)`` of the term. ``max_attempts`` (default 10): refinement
    fits per term. ``fs`` sets the units of ``terms_in_seconds`` and of the
    spectrogram's axes only.

    Non-finite samples raise ArgumentError naming the first; with
    ``check_finite=False`` they go to the library, which then keeps no term
    and reports a NaN residual percentage.
    """
    x = signal(x)
    if x.ndim != 1:
        raise ValueError("adaptive_transform takes one channel (a 1-D signal), not shape %s; decompose the "
                         "channels one by one" % (x.shape,))
    max_terms = integer(max_terms, "max_terms")
    fs = sample_rate(fs)
    code, rule = linear.extension_rule(extension, "extension")
    window_length = _optional(window_length, "window_length", integer,
                              lambda v: _WINDOW_RANGE[0] <= v <= _WINDOW_RANGE[1],
                              "is outside %d .. 2**30 samples" % _WINDOW_RANGE[0])
    range_factor = _optional(range_factor, "range_factor", _real_number, lambda v: v > 0,
                             "must be a positive number")
    max_attempts = _optional(max_attempts, "max_attempts", integer, lambda v: v >= 1, "must be at least 1")
    if check_finite:
        require_finite(x, "x", _PURSUIT_STOPS)
    real = x.dtype.kind == "f"
    context = dict(kind="adaptive-transform", n=len(x), max_terms=max_terms, extension=rule or extension)

    t, c = np.zeros(max(max_terms, 0), dtype=TERM_DTYPE), np.zeros(max(max_terms, 0), dtype=np.complex128)
    residual = np.empty_like(x)
    found, percent = ctypes.c_int32(0), ctypes.c_double(math.nan)
    call("ReAdaptiveTransform" if real else "CxAdaptiveTransform", pointer(x), len(x), 0 if chirp else 1,
         code, window_length, float(range_factor), max_attempts, max_terms, ctypes.byref(found),
         ctypes.byref(percent), pointer(c), _term_pointer(t), pointer(residual), context=context)
    found = found.value
    return AdaptiveDecomposition(np.ascontiguousarray(t[:found]), np.ascontiguousarray(c[:found]), residual,
                                 percent.value, real, fs, len(x))


def reassigned_spectrogram(x, fs=1.0, *, window="hann", nperseg=None, hop=None, bins=None, boundary=None,
                           check_finite=True, workers=None):
    """Reassigned spectrogram: the spectrogram ``|X|**2 / bins`` of each
    cell (see ``spectrogram``) moved to the frame and bin nearest to the
    local centre of gravity of the signal energy, estimated from the STFTs
    with the time-weighted window and with the window's difference
    derivative. Cells below a millionth of the mean power of the whole
    signal stay where they are; energy moved beyond the first or last frame
    (or, for a real signal, onto the Nyquist bin) is dropped, and for a real
    signal energy moved above fs/2 folds back below it.

    Window, hop and bins as for ``spectrogram`` (by default a periodic Hann
    of ``nperseg`` = 256 samples, hop 64, 256 bins); the window needs at
    least 2 samples. Frame i covers samples ``i*hop .. i*hop + L - 1``;
    there are ``(n - L) // hop + 1`` frames (n may equal the window length
    L). A real signal gives (frames, bins//2), a complex one (frames, bins)
    in FFT order; (channels, ...) for 2-D input. ``.times`` are the window
    centres ``(i*hop + (L - 1) / 2) / fs``, the instant the reassignment
    measures from. ``boundary`` as for ``spectrogram``: the signal extended
    by that rule, the frames whose centres lie within it kept (the
    threshold is then the mean power of the extended signal).
    """
    x = signal(x, check_finite=check_finite)
    w = linear.get_window(window, nperseg, check_finite=check_finite)
    hop, bins = linear._stft_grid(w, hop, bins)
    return linear.power_map(x, w, hop, bins, fs, workers, ("ReReassignedSTFTSp", "CxReassignedSTFTSp"),
                            kind="reassigned", centre=(len(w) - 1) / 2, shortest=len(w), boundary=boundary,
                            layout="reassigned spectrogram: |X|^2/bins moved to the nearest frame and bin, "
                                   "bins 0..%d in FFT order")
