"""Operations on any time-frequency map the package returns (or any real
slices x bins array): the frequency centroid of each time slice."""
import numpy as np

from ._arrays import call, pointer, require_finite
from .result import FrequencyTrack


def _bin_scale(freqs):
    """(offset, step) in Hz of bin 0 and of one bin when ``freqs`` is an
    evenly spaced ascending axis; None otherwise."""
    freqs = np.asarray(freqs, dtype=np.float64)
    if len(freqs) < 2:
        return (float(freqs[0]) if len(freqs) else 0.0), 0.0
    step = (freqs[-1] - freqs[0]) / (len(freqs) - 1)
    if not step > 0 or not np.allclose(np.diff(freqs), step, rtol=1e-9, atol=0):
        return None
    return float(freqs[0]), float(step)


def instantaneous_frequency(tfmap, *, in_bins=False, check_finite=True):
    """Frequency centroid and energy of every time slice of a real map
    (slices x bins, e.g. ``gabor_spectrogram`` or ``wvd`` output; 3-D for
    several channels).

    The centroid of slice t is ``sum_k k S[t, k] / sum_k S[t, k]`` in bins;
    where it is not within (0, bins - 1] (an empty slice, a map dipping
    negative) it is replaced by the straight line between the valid
    neighbours, a leading run rising from 0, a trailing one falling to 0.
    Returns ``(freq, energy)``: freq in Hz through the map's ``.freqs`` when
    it is a TFArray with an evenly spaced ascending axis (a map in FFT order
    is sorted by frequency first), else (or with ``in_bins=True``) in bins;
    energy = ``sum_k S[t, k]``. Both are FrequencyTracks when the map has
    ``.times``. A NaN or infinity in the map raises ArgumentError unless
    ``check_finite=False`` (the library then treats that slice's centroid
    as invalid and interpolates over it)."""
    s = tfmap
    freqs = getattr(tfmap, "freqs", None)
    times = getattr(tfmap, "times", None)
    fs = getattr(tfmap, "fs", 1.0)
    values = np.asarray(s)
    if values.ndim not in (2, 3):
        raise ValueError("the map must be 2-D (slices x bins) or 3-D (channels x slices x bins), "
                         "not of shape %s" % (values.shape,))
    if np.iscomplexobj(values):
        raise TypeError("the map must be real (take np.abs(X)**2 of a complex transform first)")
    given = values
    scale = None
    if freqs is not None and not in_bins:
        order = np.argsort(freqs, kind="stable")
        if np.any(order != np.arange(len(order))):
            values, freqs = values[..., order], np.asarray(freqs)[order]
        scale = _bin_scale(freqs)
        if scale is None:
            if check_finite:
                require_finite(given, "tfmap", "the centroid of its slice would not be a number")
            raise ValueError("the map's frequencies are not evenly spaced; pass in_bins=True for bin units")
    values = np.ascontiguousarray(values, dtype=np.float64)
    slices, width = values.shape[-2], values.shape[-1]

    # Each channel's export writes straight into its row of the results.
    blocks = [values] if values.ndim == 2 else values
    freq, energy = np.empty((len(blocks), slices)), np.empty((len(blocks), slices))
    for block, f, e in zip(blocks, freq, energy):
        call("InstantaneousFrequency", pointer(block), slices, width, 0, 0, pointer(f), pointer(e),
             context=dict(kind="map", n=slices, bins=width))
    if check_finite and not np.all(np.isfinite(energy)):
        # A slice's energy is the sum of its values, so a non-finite value
        # makes it non-finite: only then is the map itself looked through
        # (the sum may also just have overflowed).
        require_finite(given, "tfmap", "the centroid of its slice would not be a number")
    if values.ndim == 2:
        freq, energy = freq[0], energy[0]
    if scale is not None:
        freq *= scale[1]
        freq += scale[0]
    if times is not None and len(times) == slices:
        return FrequencyTrack(freq, times, fs), FrequencyTrack(energy, times, fs)
    return freq, energy
