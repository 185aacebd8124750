"""The C interface of libvarnel.so, one to one, through ctypes.

Every export of ``varnel.h`` is an attribute of this module with its exact
argument and result types: pointers to doubles take
``POINTER(c_double)`` values (``a.ctypes.data_as(raw.double_p)``, or
``raw.pointer(a)``), records are ``ctypes.Structure`` classes laid out
from the header's structs,
and each function returns the C status as an int. Nothing here checks
arguments or raises on a status; the numpy layer (``varnel.stft`` and the
rest) does that.

The signatures are the header's own declarations (read by ``_header``),
bound when the library is first used: a new export needs nothing here
unless it brings a new C type. A declaration whose symbol the loaded
library lacks (an older build) is skipped: the library still loads,
``available(name)`` is False and using the attribute raises AttributeError
naming the library.
"""
import ctypes
import enum
import re
import sys
import threading

from . import _header, _library
from .errors import Status

double_p = ctypes.POINTER(ctypes.c_double)
int32_p = ctypes.POINTER(ctypes.c_int32)


# C parameter and result types as they are spelled in the declarations;
# each record adds its pointer types.
CTYPES = {
    "void": None,
    "int32_t": ctypes.c_int32,
    "double": ctypes.c_double,
    "double *": double_p,
    "const double *": double_p,
    "int32_t *": int32_p,
    "const int32_t *": int32_p,
}


def _split_type(declaration):
    """'const double *hc' -> ('const double *', 'hc')."""
    match = re.fullmatch(r"\s*(.*?)\s*(\**)\s*([A-Za-z_]\w*)\s*", declaration)
    if match is None:
        raise ValueError("cannot read the declaration %r" % declaration)
    base, stars, name = match.groups()
    base = " ".join(base.split())
    return (base + " " + stars if stars else base), name


def _record(name, doc):
    """The ctypes.Structure laid out as the header's struct ``name``."""
    fields = [(field, CTYPES[ctype]) for ctype, field in map(_split_type, _header.struct_fields(name))]
    record = type(name, (ctypes.Structure,), {"_fields_": fields, "__doc__": doc, "__module__": __name__})
    CTYPES[name + " *"] = CTYPES["const " + name + " *"] = ctypes.POINTER(record)
    return record


WindowSpec = _record("WindowSpec", """Window and time-frequency grid of the windowed transforms.

``window`` is a raw pointer: keep the array it points into alive for as
long as the record is used (``varnel.raw.window_spec`` does that).
""")
AdaptiveTerm = _record("AdaptiveTerm", "One Gaussian chirplet term; its complex coefficient is stored apart.")


# Rules for extending a finite signal beyond its ends (4 is not a rule).
ExtensionMode = enum.IntEnum("ExtensionMode", _header.enum_values("ExtensionMode"), module=__name__)


# The status constants under their C names, for code that mirrors C hosts.
globals().update({member.name: int(member) for member in Status})


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


def _parse(declarations):
    table = {}
    for result, name, parameters in declarations:
        params = [_split_type(p) for p in parameters.split(",") if p.strip() not in ("", "void")]
        for ctype, _ in params + [(result, None)]:
            if ctype not in CTYPES:
                raise ValueError("%s: no ctypes mapping for the C type %r" % (name, ctype))
        table[name] = Prototype(name, result, params)
    return table


TABLE = _parse(_header.declarations())

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
    """POINTER(c_double) to double ``offset`` of a C-contiguous float64 or
    complex128 array (interleaved for complex), None for None. The exports
    read and write contiguous doubles from there, so any other array (a
    strided view, another dtype) is refused rather than let them run past
    its memory. The pointer holds a reference to the array, so that one
    made from a temporary (``pointer(a * 2)``) stays valid while it is
    passed on."""
    if array is None:
        return None
    kind = getattr(getattr(array, "dtype", None), "char", None)
    if kind not in ("d", "D") or not hasattr(array, "flags"):
        raise TypeError("pointer() takes a float64 or complex128 numpy array, not %s"
                        % getattr(array, "dtype", type(array).__name__))
    if not array.flags.c_contiguous:
        raise ValueError("pointer() takes a C-contiguous array; pass np.ascontiguousarray(a)")
    doubles = array.size * (2 if kind == "D" else 1)
    if not 0 <= offset <= doubles:
        raise IndexError("offset %d is outside the array's %d doubles" % (offset, doubles))
    address = ctypes.cast(array.ctypes.data + 8 * offset, double_p)
    address._array = array
    return address


def window_spec(window, time_step, bin_count):
    """A WindowSpec over a float64 C-contiguous window array, holding a
    reference to the array so that the pointer stays valid."""
    spec = WindowSpec(pointer(window), len(window), time_step, bin_count)
    spec._window = window
    return spec
