"""The C interface of libvarnel.so, one to one, through ctypes.

Every export of ``varnel.h`` is an attribute of this module with its exact
argument and result types: pointers to doubles take
``POINTER(c_double)`` values (``a.ctypes.data_as(raw.double_p)``, or
``raw.pointer(a)``), records are the ``ctypes.Structure`` classes below,
and each function returns the C status as an int. Nothing here checks
arguments or raises on a status; the numpy layer (``varnel.stft`` and the
rest) does that.

The signatures are kept as C declarations in ``PROTOTYPES``, copied from the
header, and bound when the library is first used. A declaration whose symbol
the loaded library lacks (an older build) is skipped: the library still
loads, ``available(name)`` is False and using the attribute raises
AttributeError naming the library. Binding a new export is one more line in
``PROTOTYPES``; a test compares the table with the header's declarations.
"""
import ctypes
import enum
import re
import sys
import threading

from . import _library
from .errors import Status

double_p = ctypes.POINTER(ctypes.c_double)
int32_p = ctypes.POINTER(ctypes.c_int32)


class WindowSpec(ctypes.Structure):
    """Window and time-frequency grid of the windowed transforms.

    ``window`` is a raw pointer: keep the array it points into alive for as
    long as the record is used (``varnel.raw.window_spec`` does that).
    """
    _fields_ = [("window", double_p),
                ("windowLength", ctypes.c_int32),
                ("timeStep", ctypes.c_int32),
                ("binCount", ctypes.c_int32)]


class AdaptiveTerm(ctypes.Structure):
    """One Gaussian chirplet term; its complex coefficient is stored apart."""
    _fields_ = [("alpha", ctypes.c_double),
                ("tc", ctypes.c_double),
                ("omega", ctypes.c_double),
                ("beta", ctypes.c_double)]


class ExtensionMode(enum.IntEnum):
    """Rules for extending a finite signal beyond its ends (4 is not a rule)."""
    Zero = 0
    Symmetric = 1
    Periodic = 2
    TaperedSymmetric = 3
    Linear = 5
    Quadratic = 6


# The status constants under their C names, for code that mirrors C hosts.
globals().update({member.name: int(member) for member in Status})

PROTOTYPES = """
void _Hc2Cx(const double *hc, double *cx, int32_t n);
void _Cx2Hc(const double *cx, double *hc, int32_t n);
void _Cx2ReIm(const double *cx, double *re, double *im, int32_t n);
void _ReIm2Cx(const double *re, const double *im, double *cx, int32_t n);
void _Hc2ReIm(const double *hc, double *re, double *im, int32_t n);
void _ReIm2Hc(const double *re, const double *im, double *hc, int32_t n);

int32_t ReSTFT(const double *x, int32_t N, const WindowSpec *spec, double *out);
int32_t ReSTFTWithShift(const double *x, int32_t N, const WindowSpec *spec, int32_t *shift, double *out);
int32_t CxSTFT(const double *x, int32_t N, const WindowSpec *spec, double *out);
int32_t CxSTFTEx(const double *xRe, const double *xIm, int32_t xStride, int32_t N,
                 const WindowSpec *spec, double *outRe, double *outIm, int32_t outStride);
int32_t CxSTFTExWithShift(const double *xRe, const double *xIm, int32_t xStride, int32_t N,
                          const WindowSpec *spec, int32_t *shift, double *outRe, double *outIm,
                          int32_t outStride);
int32_t ReSTFTsp(const double *x, int32_t N, const WindowSpec *spec, double *out);
int32_t CxSTFTsp(const double *x, int32_t N, const WindowSpec *spec, double *out);

int32_t Gaussian(int32_t n, double centre, double variance, double *out);
int32_t FastDual(const double *window, int32_t L, int32_t dM, int32_t N, int32_t mode, double *dual);

int32_t ReExtension(const double *x, int32_t n, int32_t mode, int32_t m, double *left, double *right);
int32_t CxExtension(const double *x, int32_t n, int32_t mode, int32_t m, double *left, double *right);

int32_t ReDGT(const double *x, int32_t n, const WindowSpec *spec, double *out);
int32_t CxDGT(const double *x, int32_t n, const WindowSpec *spec, double *out);
int32_t CxDGTEx(const double *inRe, const double *inIm, int32_t inStride, int32_t n,
                const WindowSpec *spec, double *outRe, double *outIm, int32_t outStride);
int32_t ReDGTWithIC(const double *x, int32_t n, double *history, int32_t *historyLength,
                    const WindowSpec *spec, double *out);

int32_t ReDGE(const double *coef, int32_t F, int32_t N, const WindowSpec *spec, double *out,
              int32_t outLength);
int32_t CxDGE(const double *coef, int32_t F, int32_t N, const WindowSpec *spec, double *out,
              int32_t outLength);
int32_t CxDGEEx(const double *inRe, const double *inIm, int32_t inStride, int32_t F, int32_t N,
                const WindowSpec *spec, double *outRe, double *outIm, int32_t outStride,
                int32_t outLength);
int32_t ReDGEWithIC(const double *coef, int32_t F, int32_t N, const WindowSpec *spec, double *out,
                    double *state, int32_t *stateLength);

int32_t DGT2d(const double *image, int32_t nRows, int32_t nCols, const WindowSpec *spec1,
              const WindowSpec *spec2, double *out);
int32_t DGE2d(const double *coef, int32_t F1, int32_t N1, int32_t F2, int32_t N2,
              const WindowSpec *spec1, const WindowSpec *spec2, double *image, int32_t nRows,
              int32_t nCols);

int32_t WVD(const double *re, const double *im, int32_t N, int32_t nFreq, int32_t timeStep,
            int32_t analytic, double *out);
int32_t Cohen(const double *re, const double *im, int32_t N, const double *kernel, int32_t nFreq,
              int32_t kernelWidth, int32_t timeStep, int32_t analytic, double *out);
int32_t CWD(const double *re, const double *im, int32_t N, int32_t nFreq, int32_t timeStep,
            double sigma, int32_t analytic, double *out);
int32_t CSD(const double *re, const double *im, int32_t N, int32_t nFreq, int32_t timeStep,
            double alpha, int32_t analytic, double *out);

int32_t CxGaborSp(const double *coefs, int32_t M, int32_t N, int32_t dM, double a, int32_t lowOrder,
                  int32_t highOrder, int32_t K2, int32_t K1, int32_t f0, int32_t nF, double *out);
int32_t MIFOfGaborSp(const double *coefs, int32_t M, int32_t N, int32_t dM, double a, int32_t order,
                     int32_t K2, double *out);
int32_t InstantaneousFrequency(const double *S, int32_t T, int32_t F, int32_t reserved1, int32_t reserved2,
                               double *freq, double *energy);

int32_t CxAdaptiveExpansion(const AdaptiveTerm *terms, const double *coefs, int32_t numTerms,
                            int32_t length, double *out);
int32_t ReAdaptiveExpansion(const AdaptiveTerm *terms, const double *coefs, int32_t numTerms,
                            int32_t length, double *out);
int32_t ReAdaptiveSp(const double *coefs, const AdaptiveTerm *terms, int32_t numTerms, int32_t dt,
                     int32_t K, int32_t t0, int32_t f0, int32_t rows, int32_t cols, double *out);
int32_t CxAdaptiveSp(const double *coefs, const AdaptiveTerm *terms, int32_t numTerms, int32_t dt,
                     int32_t K, int32_t t0, int32_t f0, int32_t rows, int32_t cols, double *out);
int32_t ReAdaptiveTransform(const double *signal, int32_t N, int32_t chirpMode, int32_t extensionMode,
                            int32_t windowLength, double rangeFactor, int32_t maxAttempts,
                            int32_t maxTerms, int32_t *numTermsOut, double *residualPercent,
                            double *coefs, AdaptiveTerm *terms, double *residual);
int32_t CxAdaptiveTransform(const double *signal, int32_t N, int32_t chirpMode, int32_t extensionMode,
                            int32_t windowLength, double rangeFactor, int32_t maxAttempts,
                            int32_t maxTerms, int32_t *numTermsOut, double *residualPercent,
                            double *coefs, AdaptiveTerm *terms, double *residual);
int32_t ReReassignedSTFTSp(const double *signal, int32_t N, const WindowSpec *spec, double *out);
int32_t CxReassignedSTFTSp(const double *signal, int32_t N, const WindowSpec *spec, double *out);
"""

# C parameter and result types as they are spelled in the declarations.
CTYPES = {
    "void": None,
    "int32_t": ctypes.c_int32,
    "double": ctypes.c_double,
    "double *": double_p,
    "const double *": double_p,
    "int32_t *": int32_p,
    "const int32_t *": int32_p,
    "const WindowSpec *": ctypes.POINTER(WindowSpec),
    "WindowSpec *": ctypes.POINTER(WindowSpec),
    "AdaptiveTerm *": ctypes.POINTER(AdaptiveTerm),
    "const AdaptiveTerm *": ctypes.POINTER(AdaptiveTerm),
}


class Prototype:
    """One declaration: name, result type and (type, name) parameters, the
    types spelled as in C with a single space before a '*'."""

    __slots__ = ("name", "result", "parameters")

    def __init__(self, name, result, parameters):
        self.name, self.result, self.parameters = name, result, tuple(parameters)

    @property
    def restype(self):
        return CTYPES[self.result]

    @property
    def argtypes(self):
        return [CTYPES[ctype] for ctype, _ in self.parameters]

    def __repr__(self):
        return "%s %s(%s)" % (self.result, self.name,
                              ", ".join("%s%s%s" % (t, "" if t.endswith("*") else " ", n)
                                        for t, n in self.parameters))


def _split_type(declaration):
    """'const double *hc' -> ('const double *', 'hc')."""
    match = re.fullmatch(r"\s*(.*?)\s*(\**)\s*([A-Za-z_]\w*)\s*", declaration)
    if match is None:
        raise ValueError("cannot read the declaration %r" % declaration)
    base, stars, name = match.groups()
    base = " ".join(base.split())
    return (base + " " + stars if stars else base), name


def _parse(text):
    table = {}
    for match in re.finditer(r"([^;]*?)\b([A-Za-z_]\w*)\s*\(([^)]*)\)\s*;", text):
        result = " ".join(match.group(1).split())
        name = match.group(2)
        params = [_split_type(p) for p in match.group(3).split(",") if p.strip() not in ("", "void")]
        for ctype, _ in params + [(result, None)]:
            if ctype not in CTYPES:
                raise ValueError("%s: no ctypes mapping for the C type %r" % (name, ctype))
        table[name] = Prototype(name, result, params)
    return table


TABLE = _parse(PROTOTYPES)

_bound = {}
_bind_lock = threading.Lock()


def _bind():
    if _bound:
        return _bound
    with _bind_lock:
        if not _bound:
            handle = _library.load()
            functions = {}
            for name, prototype in TABLE.items():
                try:
                    function = getattr(handle, name)
                except AttributeError:
                    continue
                function.argtypes = prototype.argtypes
                function.restype = prototype.restype
                function.__doc__ = repr(prototype)
                functions[name] = function
            _bound.update(functions)
            # Module attributes from now on, so that calls skip __getattr__.
            globals().update(functions)
    return _bound


def load():
    """Load the library and bind every export it has; returns this module."""
    _bind()
    return sys.modules[__name__]


def library_path():
    """Path of the loaded library (loads it if needed)."""
    _bind()
    return _library.loaded_path()


def available(name):
    """True when the loaded library exports ``name``."""
    return name in _bind()


def missing():
    """Declared exports that the loaded library lacks, sorted."""
    bound = _bind()
    return sorted(name for name in TABLE if name not in bound)


def __getattr__(name):
    if name in TABLE:
        bound = _bind()
        if name in bound:
            return bound[name]
        raise AttributeError("%s is not exported by %s (a build older than this package)"
                             % (name, _library.loaded_path()))
    raise AttributeError("module %r has no attribute %r" % (__name__, name))


def __dir__():
    return sorted(set(globals()) | set(TABLE))


def pointer(array, offset=0):
    """POINTER(c_double) to element ``offset`` of a float64 array (None for None)."""
    if array is None:
        return None
    return ctypes.cast(array.ctypes.data + 8 * offset, double_p)


def window_spec(window, time_step, bin_count):
    """A WindowSpec over a float64 C-contiguous window array, holding a
    reference to the array so that the pointer stays valid."""
    spec = WindowSpec(pointer(window), len(window), time_step, bin_count)
    spec._window = window
    return spec
