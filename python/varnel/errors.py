"""Status codes of the library and the exceptions that carry them.

Every nonzero status that reaches Python becomes a ``VarnelError`` with the
code, its constant name from ``varnel.h`` and a sentence about the likely
cause; the wrappers add the arguments they passed, so that the sentence can
name the one that is wrong ("bins=1000 is not a power of two") rather than
repeat the generic meaning of the code.

    VarnelError            any nonzero status
      ArgumentError        the caller's arguments (positive codes, a bad
                           layout or method selector); also a ValueError
      OutOfMemoryError     no working memory; also a MemoryError
      NumericalError       an inner numeric routine gave up
"""
import enum

from . import _header


# The library's status codes under their C constant names.
Status = enum.IntEnum("Status", _header.enum_values("VarnelStatus"), module=__name__)


SENTENCES = {
    0: "success",
    1: "a signal length, sample count or record count is unusable (the windowed transforms need "
       "a signal longer than the window)",
    3: "the bin count is below 1 or not a power of two",
    4: "the extension rule is not one of zero, symmetric, periodic, tapered-symmetric, linear "
       "or quadratic",
    21: "the time step is below 1",
    22: "the time step is below 1 or not a power of two",
    23: "the Gabor spectrogram order is negative",
    25: "a count argument is negative",
    27: "a parameter that must be positive is zero or negative",
    28: "the kernel dimensions do not fit the signal and the bin count",
    29: "the window, time step and bin count do not fit together",
    30: "the requested start and count lie outside the available range",
    31: "a parameter that must not be negative is negative",
    32: "a chirplet term is unusable: alpha must be a finite positive number and tc, omega, beta and "
        "the coefficient finite",
    -1: "the complex input is in a layout that the transform does not support",
    -20001: "the library could not obtain working memory; the request is probably too large",
    -20003: "an inner numeric routine was given an empty or unfitting size",
    -20006: "a straight-line fit was given fewer than 2 points",
    -20009: "a length that must be a power of two is not",
    -20021: "the least-squares solver was asked for fewer than 1 or more than 90 coefficients",
    -20037: "the least-squares problem has fewer equations than unknowns",
    -20061: "a method selector is outside its range",
    -20062: "the singular value decomposition did not converge; look for non-finite samples",
    -20103: "a polynomial fit was asked for a negative degree",
}


def status_name(code):
    try:
        return Status(code).name
    except ValueError:
        return "unknown status"


class VarnelError(RuntimeError):
    """A nonzero status from the library.

    Attributes: ``code`` (the int status), ``name`` (its constant name, e.g.
    ``kStatusBadWindowSpec``), ``message`` (the sentence about the cause)
    and ``function`` (the export that returned it, or None). ``code`` and
    ``name`` are None for arguments that the numpy layer refuses before the
    call because the library would accept them and return nothing useful
    (``refused``).
    """

    def __init__(self, code, name=None, message=None, function=None):
        self.code = None if code is None else int(code)
        self.name = name if name is not None or code is None else status_name(self.code)
        self.message = message if message is not None else SENTENCES.get(
            self.code, "the library returned an unknown status")
        self.function = function
        if code is None:
            super().__init__(self.message)
            return
        where = "%s: " % function if function else ""
        super().__init__("%s [%sstatus %d, %s]" % (self.message, where, self.code, self.name))

    @classmethod
    def refused(cls, message):
        """The error for arguments refused in Python, with no status."""
        return cls(None, message=message)


class ArgumentError(VarnelError, ValueError):
    """The library refused the arguments (nothing was written), or, with
    ``code`` None, the numpy layer did before calling it."""


class OutOfMemoryError(VarnelError, MemoryError):
    """The library could not obtain working memory."""


class NumericalError(VarnelError):
    """An inner numeric routine of the library gave up."""


def error_class(code):
    if code > 0 or code in (Status.kStatusBadLayout, Status.kStatusBadSelector):
        return ArgumentError
    if code == Status.kStatusNoMemory:
        return OutOfMemoryError
    return NumericalError


def power_of_two(n):
    """Whether n is a power of two (1 included), as bin counts must be."""
    return n >= 1 and n & (n - 1) == 0


def next_power_of_two(n):
    """The least power of two at or above n (1 for n <= 1)."""
    return 1 << max(0, (n - 1).bit_length())


def _grid_problem(kind, n=None, L=None, hop=None, bins=None, frame_bins=None, **_):
    """The first parameter of the window/grid that the library refuses, as
    a sentence, checked in the order the exports check them."""
    if hop is not None and hop < 1:
        return "hop must be at least 1 sample (got %d)" % hop
    if bins is not None and bins < 1:
        return "bins must be at least 1 (got %d)" % bins
    if bins is not None and not power_of_two(bins):
        return "bins=%d is not a power of two (the nearest above is %d)" % (bins, next_power_of_two(bins))
    if kind in ("dgt", "dge", "dual", "stream") and None not in (L, hop, bins):
        if L < 1:
            return "the window is empty"
        if kind == "dual" and (L % hop or L % bins):
            return ("the window length %d must be a positive multiple of both hop=%d and bins=%d"
                    % (L, hop, bins))
        if L % hop:
            return "the window length %d is not a multiple of hop=%d" % (L, hop)
        if L % bins:
            return "the window length %d is not a multiple of bins=%d" % (L, bins)
        if hop > bins:
            return "hop=%d is larger than bins=%d; the Gabor lattice needs hop <= bins" % (hop, bins)
        if kind == "stream" and not power_of_two(hop):
            return "block-wise Gabor transforms need hop to be a power of two (got %d)" % hop
        if frame_bins is not None and frame_bins != bins:
            return "the coefficients have %d bins per frame but bins=%d" % (frame_bins, bins)
    return None


def _length_problem(kind, n=None, L=None, hop=None, bins=None, frames=None, length=None, **_):
    if kind == "stft" and None not in (n, L) and n <= L:
        return ("the signal (%d samples) must be longer than the window (%d samples)" % (n, L))
    if kind == "dgt" and n is not None:
        if n < 1:
            return "the signal is empty"
        if hop is not None and n == hop:
            return ("a signal of exactly one hop (%d samples) is too short for the Gabor transform; "
                    "give it more samples than hop" % n)
        if L is not None and n + L > 2 ** 31 - 1:
            return "the signal is too long for the Gabor transform"
    if kind == "dge":
        if frames is not None and frames < 1:
            return "there are no coefficient frames"
        if length is not None and length < 1:
            return "the output length must be at least 1 (got %d)" % length
    if kind == "dual" and None not in (L, hop, bins):
        return ("the window length %d must be a positive multiple of both hop=%d and bins=%d"
                % (L, hop, bins))
    if kind == "extension":
        m, rule = _.get("m"), _.get("mode")
        if m is not None and m < 0:
            return "the extension length must not be negative (got %d)" % m
        if rule is not None and n is not None:
            return "the %s rule needs more samples than the %d given" % (rule, n)
    return None


def _quadratic_problem(code, n=None, hop=None, bins=None, width=None, **_):
    if code == Status.kStatusBadLength and n is not None and n < 1:
        return "the signal is empty"
    if code in (Status.kStatusBadBinCount, Status.kStatusBadKernelSize) and bins is not None \
            and not power_of_two(bins):
        return "bins=%d is not a power of two" % bins
    if code == Status.kStatusBadDecimation and hop is not None:
        if hop < 1:
            return "hop must be at least 1 sample (got %d)" % hop
        return "the Cohen-class distributions need hop to be a power of two (got %d)" % hop
    if code == Status.kStatusBadKernelSize and None not in (n, hop, width):
        if not power_of_two(width):
            return "the kernel width %d is not a power of two" % width
        if width < n:
            return "the kernel width %d is below the signal length %d" % (width, n)
        if n < hop:
            return "the signal (%d samples) is shorter than hop=%d" % (n, hop)
        used = n // hop * hop
        if width != next_power_of_two(used):
            below = 1 << (n.bit_length() - 1)
            return ("the Cohen-class distributions need the kernel width %d to be the next power of two "
                    "above the %d samples analysed (n // hop * hop); trim the signal to %d samples"
                    % (width, used, below))
    return None


def _term_problem(terms=None, coefs=None, **_):
    """The first term or coefficient the library refuses, as a sentence."""
    import numpy as np
    if terms is None or len(terms) == 0:
        return None
    with np.errstate(invalid="ignore"):
        checks = [("alpha", ~(np.isfinite(terms["alpha"]) & (terms["alpha"] > 0)))]
        checks += [(name, ~np.isfinite(terms[name])) for name in ("tc", "omega", "beta")]
        if coefs is not None:
            checks.append(("coefficient", ~np.isfinite(coefs)))
    bad = np.any([mask for _, mask in checks], axis=0)
    if not bad.any():
        return None
    j = int(np.argmax(bad))
    name = next(name for name, mask in checks if mask[j])
    if name == "alpha":
        return ("term %d has alpha=%r; alpha (1/variance of the envelope) must be a finite positive number"
                % (j, float(terms["alpha"][j])))
    if name == "coefficient":
        return "the coefficient of term %d is %r; it must be finite" % (j, complex(coefs[j]))
    return "term %d has %s=%r; it must be finite" % (j, name, float(terms[name][j]))


def _adaptive_problem(code, kind, length=None, rows=None, count=None, hop=None, bins=None, first_bin=None,
                      last=None, n=None, L=None, **context):
    if code == Status.kStatusBadTerm:
        return _term_problem(**context)
    if kind == "reassigned":
        if code == Status.kStatusBadLength and None not in (n, L):
            return "the signal (%d samples) is shorter than the window (%d samples)" % (n, L)
        if code == Status.kStatusBadWindowSpec:
            problem = _grid_problem(kind, hop=hop, bins=bins)
            if problem is None and L is not None and L < 2:
                problem = "the window needs at least 2 samples (got %d)" % L
            return problem
        return None
    if code == Status.kStatusBadLength:
        if length is not None and length < 1 and rows is None:
            return "the output length must be at least 1 (got %d)" % length
        if rows is not None and rows < 1:
            if length is not None:
                return "length=%d leaves no rows after the start sample" % length
            return "rows must be at least 1 (got %d)" % rows
        if count is not None and count < 1:
            if last is not None:
                return ("first_bin=%d leaves no columns: by default they end at bin %d; give count="
                        % (first_bin, last))
            return "count must be at least 1 (got %d)" % count
    if code == Status.kStatusBadTimeStep and hop is not None:
        return "hop must be at least 1 sample (got %d)" % hop
    if code == Status.kStatusBadBinCount and bins is not None:
        return "bins must be at least 1 (got %d)" % bins
    if code == Status.kStatusBadRange and None not in (first_bin, count, bins):
        return ("first_bin=%d and count=%d do not lie within the %d bins (0 <= first_bin and first_bin + "
                "count <= bins)" % (first_bin, count, bins))
    return None


# The two dimensions of an image, as refusals name them.
AXES = ("down the columns (axis 0)", "along the rows (axis 1)")


def _gabor2d_problem(code, transform="dgt", dims=(), **_):
    """The first dimension of a 2-D Gabor call whose lattice or length the
    library refuses, named by its axis."""
    for axis, dim in zip(AXES, dims):
        if code == Status.kStatusBadWindowSpec:
            problem = _grid_problem(transform, **dim)
        else:
            problem = _length_problem(transform, **dim)
        if problem:
            return "%s: %s" % (axis, problem)
    return None


# The fewest samples the adaptive transform takes.
ADAPTIVE_SHORTEST = 8


def _transform_problem(code, n=None, max_terms=None, extension=None, **_):
    if code == Status.kStatusBadLength and n is not None and n < ADAPTIVE_SHORTEST:
        return "the adaptive transform needs a signal of at least %d samples (got %d)" % (ADAPTIVE_SHORTEST, n)
    if code == Status.kStatusNegativeCount and max_terms is not None:
        return "max_terms must not be negative (got %d)" % max_terms
    if code == Status.kStatusBadExtensionMode and extension is not None:
        return ("extension=%r is not an extension rule; choose zero, symmetric, periodic, tapered-symmetric, "
                "linear or quadratic" % (extension,))
    return None


def describe(code, context=None):
    """A sentence for ``code``, specific when ``context`` (the arguments the
    export was given, under the keywords of the numpy layer) pins the cause."""
    context = dict(context or {})
    kind = context.pop("kind", None)
    specific = None
    if kind == "quadratic":
        specific = _quadratic_problem(code, **context)
    elif kind in ("adaptive", "adaptive-sp", "reassigned"):
        specific = _adaptive_problem(code, kind, **context)
    elif kind == "gabor2d":
        specific = _gabor2d_problem(code, **context)
    elif kind == "adaptive-transform":
        specific = _transform_problem(code, **context)
    elif code == Status.kStatusBadWindowSpec:
        specific = _grid_problem(kind, **context)
    elif code == Status.kStatusBadLength:
        specific = _length_problem(kind, **context)
    elif code == Status.kStatusBadSelector and kind == "dual":
        specific = "the dual window mode must be periodic or aperiodic"
    return specific or SENTENCES.get(code, "the library returned an unknown status %d" % code)


def check(status, function, context=None):
    """Raise the matching VarnelError for a nonzero status."""
    if status != 0:
        raise error_class(status)(status, status_name(status), describe(status, context), function)
    return status
