"""Two-dimensional Gabor transform and expansion of real images.

    c = varnel.dgt2(image, window="gaussian", nperseg=32, hop=8)   # (F1, N1, F2, N2) complex
    y = varnel.dge2(c, window="gaussian", nperseg=32, hop=8, shape=image.shape)   # y == image

The first lattice (``window``, ``nperseg``, ``hop``, ``bins``) runs down
the columns (axis 0), the second (``window2``, ``nperseg2``, ``hop2``,
``bins2``) along the rows (axis 1); each second-dimension argument left
None takes the first's value. Defaults and rules are ``dgt``'s in each
dimension. Coefficient ``c[f1, b1, f2, b2]`` is that of frame f1 and bin b1
down the columns and frame f2 and bin b2 along the rows: ``dgt`` down each
column (all N1 bins, as a complex signal's), then ``dgt`` along each row of
the result. The coefficients are the library's own array, not a copy.
"""
import numpy as np

from ._arrays import call, integer, pointer, require_finite, require_finite_through
from .errors import AXES, ArgumentError
from .linear import _gabor_grid, _window_samples, dual_window
from .raw import window_spec

def _lattices(window, nperseg, hop, bins, window2, nperseg2, hop2, bins2, check_finite):
    """(window samples, hop, bins) of both dimensions."""
    def one(w, length, step, count):
        g = _window_samples(w, length, check_finite)
        step, count = _gabor_grid(g, step, count)
        return g, step, count

    first = one(window, nperseg, hop, bins)
    if window2 is None and nperseg2 is None and hop2 is None and bins2 is None:
        return first, first
    pick = lambda second, value: value if second is None else second  # noqa: E731
    return first, one(pick(window2, window), pick(nperseg2, nperseg), pick(hop2, hop), pick(bins2, bins))


def _array(values, name, dimensions, dtype, check_finite):
    """values as a C-contiguous array of dtype (float64: real values only)
    with the number of dimensions that ``dimensions`` begins with."""
    a = np.asarray(values)
    if a.ndim != int(dimensions[0]):
        raise ValueError("%s must be %s, not of shape %s" % (name, dimensions, a.shape))
    real = dtype == np.float64
    if a.dtype.kind not in ("biuf" if real else "biufc"):
        raise TypeError("%s must hold %s, not %s" % (name, "real numbers" if real else "numbers", a.dtype))
    a = np.require(a, dtype=dtype, requirements="CA")
    if check_finite:
        require_finite(a, name)
    return a


def _frames(n, hop):
    return -(-n // hop) if hop >= 1 and n >= 1 else 0


def dgt2(image, *, window="gaussian", nperseg=None, hop=None, bins=None, window2=None, nperseg2=None, hop2=None,
         bins2=None, dual=True, check_finite=True):
    """Gabor transform of a real image (rows x columns) on one lattice per
    dimension (see the module). Each dimension is zero-padded to ``F =
    ceil(n / hop)`` hops and treated as periodic, as ``dgt`` treats a
    signal, and analysed with the dual of its window (``dual=False``: the
    window itself), so that ``dge2`` with the same arguments inverts it.
    Returns a complex array of shape (F1, N1, F2, N2)."""
    x = _array(image, "image", "2-D (rows x columns)", np.float64, check_finite)
    lattices = _lattices(window, nperseg, hop, bins, window2, nperseg2, hop2, bins2, check_finite)
    specs, dims = [], []
    for axis, n, (g, step, count) in zip(AXES, x.shape, lattices):
        try:
            h = dual_window(g, step, count, check_finite=False) if dual else g
        except ArgumentError as error:
            raise ArgumentError(error.code, error.name, "%s: %s" % (axis, error.message), error.function) from None
        specs.append(window_spec(h, step, count))
        dims.append(dict(n=n, L=len(h), hop=step, bins=count))
    shape = (_frames(x.shape[0], dims[0]["hop"]), max(dims[0]["bins"], 0),
             _frames(x.shape[1], dims[1]["hop"]), max(dims[1]["bins"], 0))
    out = np.empty(shape, dtype=np.complex128)
    call("DGT2d", pointer(x), x.shape[0], x.shape[1], specs[0], specs[1], pointer(out),
         context=dict(kind="gabor2d", transform="dgt", dims=dims))
    return out


def dge2(coefficients, *, window="gaussian", nperseg=None, hop=None, bins=None, window2=None, nperseg2=None,
         hop2=None, bins2=None, shape=None, check_finite=True):
    """Real image from two-dimensional Gabor coefficients (F1, N1, F2, N2),
    with the windows as synthesis windows: the inverse of ``dgt2`` called
    with the same arguments. The image is the real part of the complex
    expansion. ``shape`` (rows, columns) defaults to (F1*hop, F2*hop2), the
    padded size of the analysed image; rows or columns beyond that are
    zero."""
    c = _array(coefficients, "coefficients", "4-D (F1, N1, F2, N2)", np.complex128, False)
    lattices = _lattices(window, nperseg, hop, bins, window2, nperseg2, hop2, bins2, check_finite)
    frames = (c.shape[0], c.shape[2])
    if shape is None:
        shape = tuple(f * max(step, 0) for f, (_, step, _) in zip(frames, lattices))
    else:
        shape = tuple(integer(v, "shape") for v in shape)
        if len(shape) != 2:
            raise ValueError("shape must give rows and columns, not %d values" % len(shape))
    specs = [window_spec(g, step, count) for g, step, count in lattices]
    dims = [dict(frames=f, length=n, L=len(g), hop=step, bins=count, frame_bins=width)
            for f, n, (g, step, count), width in zip(frames, shape, lattices, (c.shape[1], c.shape[3]))]
    # As dge does, the image is checked instead of the coefficients when
    # every frame lands in it: a non-finite coefficient spreads over its
    # frames' samples. The real expansion down the columns has no use for
    # imaginary parts at bins 0 and N1/2, where one could be lost, so the
    # coefficients of those bins are checked themselves (2/N1 of them).
    lands = all(n >= f * max(step, 0) and len(g) >= 2 for n, f, (g, step, _) in zip(shape, frames, lattices))
    if check_finite and not lands:
        require_finite(c, "coefficients")
    out = np.empty(tuple(max(n, 0) for n in shape))
    call("DGE2d", pointer(c), c.shape[0], c.shape[1], c.shape[2], c.shape[3], specs[0], specs[1], pointer(out),
         shape[0], shape[1], context=dict(kind="gabor2d", transform="dge", dims=dims))
    if check_finite and lands:  # bins 0 and N1/2 (for odd N1 a few more) checked themselves
        require_finite_through(out, c, "coefficients", c[:, ::max(c.shape[1] // 2, 1)])
    return out
