"""Time-frequency arrays, and frequency tracks, that know their axes.

The transforms return ``TFArray``: a plain numpy array (frames x bins, or
channels x frames x bins) that also carries ``times`` (seconds, one per
frame: the second-to-last axis) and ``freqs`` (Hz, one per bin: the last
axis). Everything numpy does with it works as with any array; the axes
follow where they stay meaningful:

- element-wise operations (``np.abs(S)``, ``10 * np.log10(S)``) keep them;
- basic indexing (``S[0]``, ``S[10:20]``, ``S[..., ::-1]``) slices them
  along with the data;
- anything that drops or reorders a time or frequency axis (an integer
  index on it, a reduction, fancy indexing) gives a plain ndarray.
``np.asarray(S)`` is the bare data.
"""
import numbers

import numpy as np


class _Timed(np.ndarray):
    """What TFArray and FrequencyTrack share: a result whose operations lost
    its time axis (``times`` is None) is a plain array, and pickles (and so
    process pools) get the bare data."""

    def __array_wrap__(self, array, context=None, *args):
        result = super().__array_wrap__(array, context, *args)
        if isinstance(result, _Timed) and result.times is None:
            return result.view(np.ndarray) if result.ndim else result[()]
        return result

    def __reduce__(self):
        return np.asarray(self).__reduce__()


class TFArray(_Timed):
    """ndarray of a time-frequency representation with ``times``, ``freqs``,
    ``fs`` (the sample rate the axes are in), ``layout`` (a short note on
    how the bins are ordered) and ``signal_length`` (the samples of the
    signal analysed, where a transform records it for its inverse; kept
    while the frames are all there)."""

    def __new__(cls, values, times, freqs, fs=1.0, layout="", signal_length=None):
        obj = np.asarray(values).view(cls)
        if obj.ndim < 2 or obj.shape[-2] != len(times) or obj.shape[-1] != len(freqs):
            raise ValueError("axes of lengths %d, %d do not fit an array of shape %s"
                             % (len(times), len(freqs), obj.shape))
        obj.times = np.asarray(times, dtype=np.float64)
        obj.freqs = np.asarray(freqs, dtype=np.float64)
        obj.fs = fs
        obj.layout = layout
        obj.signal_length = signal_length
        return obj

    def __array_finalize__(self, obj):
        keep = (isinstance(obj, TFArray) and getattr(obj, "times", None) is not None
                and self.ndim >= 2 and self.shape[-2:] == obj.shape[-2:])
        self.times = obj.times if keep else None
        self.freqs = obj.freqs if keep else None
        self.fs = getattr(obj, "fs", 1.0)
        self.layout = getattr(obj, "layout", "")
        self.signal_length = getattr(obj, "signal_length", None) if keep else None

    def __getitem__(self, key):
        result = super().__getitem__(key)
        if not isinstance(result, TFArray):
            return result
        axes = self._sliced_axes(key)
        if axes is None:
            return result.view(np.ndarray)
        result.times, result.freqs = axes
        return result

    def _sliced_axes(self, key):
        if self.times is None:
            return None
        key = key if isinstance(key, tuple) else (key,)
        if not all(k is Ellipsis or isinstance(k, (slice, numbers.Integral)) for k in key):
            return None
        if any(isinstance(k, (bool, np.bool_)) for k in key):
            return None
        if key.count(Ellipsis) > 1:
            return None
        if Ellipsis in key:
            i = key.index(Ellipsis)
            fill = self.ndim - (len(key) - 1)
            key = key[:i] + (slice(None),) * fill + key[i + 1:]
        key = key + (slice(None),) * (self.ndim - len(key))
        time_key, freq_key = key[self.ndim - 2], key[self.ndim - 1]
        if not (isinstance(time_key, slice) and isinstance(freq_key, slice)):
            return None
        return self.times[time_key], self.freqs[freq_key]


class FrequencyTrack(_Timed):
    """A frequency per time instant (or channels x instants), with ``times``
    in seconds for the last axis and ``fs``. Operations that keep the last
    axis keep the times; anything else gives a plain array."""

    def __new__(cls, values, times, fs=1.0):
        obj = np.asarray(values).view(cls)
        if obj.ndim < 1 or obj.shape[-1] != len(times):
            raise ValueError("%d times do not fit a track of shape %s" % (len(times), obj.shape))
        obj.times = np.asarray(times, dtype=np.float64)
        obj.fs = fs
        return obj

    def __array_finalize__(self, obj):
        times = getattr(obj, "times", None)
        keep = times is not None and self.ndim >= 1 and self.shape[-1] == len(times)
        self.times = times if keep else None
        self.fs = getattr(obj, "fs", 1.0)

    def __getitem__(self, key):
        result = super().__getitem__(key)
        if not isinstance(result, FrequencyTrack):
            return result
        # A channel of a multi-channel track, or the whole of it, keeps its
        # times; any other selection could leave them out of step.
        whole = key is Ellipsis or (isinstance(key, slice) and key == slice(None))
        channel = isinstance(key, (int, np.integer)) and self.ndim > 1
        if (whole or channel) and result.times is not None:
            return result
        return result.view(np.ndarray)
