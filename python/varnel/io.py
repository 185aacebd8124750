"""Reading signals for the command line: WAV, .npy and one-column CSV.

``read_signal(path)`` returns a Recording with the samples as channels x
samples (float64, or complex128 for a complex .npy array) and the sample
rate when the file carries one. Anything it cannot read raises InputError
with one sentence that says why.

WAV is read by a small reader of its own rather than the ``wave`` module,
which knows integer PCM only: this one takes 8-, 16-, 24- and 32-bit PCM and
32- and 64-bit IEEE float, plain or in a WAVE_FORMAT_EXTENSIBLE header, and
scales integers to [-1, 1).
"""
import dataclasses
import os
import struct

import numpy as np

PCM, IEEE_FLOAT, EXTENSIBLE = 1, 3, 0xFFFE


class InputError(ValueError):
    """An input file that cannot be used; the message is one sentence."""


@dataclasses.dataclass
class Recording:
    data: np.ndarray          # channels x samples
    fs: float                 # None when the file has no rate
    description: str

    @property
    def channels(self):
        return self.data.shape[0]


def read_signal(path):
    """Read a WAV file, a .npy array or a one-column CSV (chosen by content,
    then by extension)."""
    path = os.fspath(path)
    if not os.path.exists(path):
        raise InputError("no such file: %s" % path)
    if os.path.isdir(path):
        raise InputError("%s is a directory, not a signal file" % path)
    try:
        with open(path, "rb") as f:
            head = f.read(16)
    except OSError as error:
        raise InputError("cannot open %s: %s" % (path, error.strerror or error)) from None
    extension = os.path.splitext(path)[1].lower()
    if head[:4] == b"RIFF" and head[8:12] == b"WAVE":
        return read_wav(path)
    if head[:6] == b"\x93NUMPY":
        return read_npy(path)
    if extension == ".wav":
        raise InputError("%s is not a WAV file (it has no RIFF/WAVE header)" % path)
    if extension == ".npy":
        raise InputError("%s is not a .npy array (it has no NumPy header)" % path)
    return read_csv(path, strict=extension in (".csv", ".txt"))


def read_wav(path):
    with open(path, "rb") as f:
        blob = f.read()
    if blob[:4] != b"RIFF" or blob[8:12] != b"WAVE":
        raise InputError("%s is not a WAV file (it has no RIFF/WAVE header)" % path)
    fmt = data = None
    offset = 12
    while offset + 8 <= len(blob):
        chunk, size = struct.unpack_from("<4sI", blob, offset)
        body = offset + 8
        if chunk == b"fmt ":
            fmt = blob[body:body + size]
        elif chunk == b"data":
            # Streamed files may leave the size unset; the data runs to the end.
            data = blob[body:min(body + size, len(blob))]
            if fmt is not None:
                break
        offset = body + size + (size & 1)
    if fmt is None or len(fmt) < 16:
        raise InputError("%s is a damaged WAV file: it has no format chunk" % path)
    if data is None:
        raise InputError("%s is a damaged WAV file: it has no data chunk" % path)
    tag, channels, rate, _, block, bits = struct.unpack_from("<HHIIHH", fmt)
    if tag == EXTENSIBLE and len(fmt) >= 26:
        tag = struct.unpack_from("<H", fmt, 24)[0]
    if channels < 1 or block < 1:
        raise InputError("%s is a damaged WAV file: %d channels, %d bytes per frame" % (path, channels, block))
    width = block // channels
    frames = len(data) // block
    raw = np.frombuffer(data, dtype=np.uint8, count=frames * block).reshape(frames, channels, width)
    if tag == PCM and width == 1:
        samples = (raw[..., 0].astype(np.float64) - 128.0) / 128.0
    elif tag == PCM and width in (2, 3, 4):
        # Assemble little-endian integers of any width in int64, then
        # sign-extend from the top bit of the stored width.
        value = np.zeros((frames, channels), dtype=np.int64)
        for byte in range(width):
            value |= raw[..., byte].astype(np.int64) << (8 * byte)
        top = 1 << (8 * width - 1)
        value = (value ^ top) - top
        samples = value / float(top)
    elif tag == IEEE_FLOAT and width in (4, 8):
        samples = np.frombuffer(raw.tobytes(), dtype="<f%d" % width).reshape(frames, channels)
        samples = samples.astype(np.float64)
    else:
        kind = {PCM: "%d-bit PCM" % bits, IEEE_FLOAT: "%d-bit float" % bits}.get(tag, "format tag %d" % tag)
        raise InputError("%s uses %s, which is not supported (8/16/24/32-bit PCM or 32/64-bit float)"
                         % (path, kind))
    if frames == 0:
        raise InputError("%s holds no samples" % path)
    description = "%s: %d channel%s, %d Hz, %s" % (
        os.path.basename(path), channels, "" if channels == 1 else "s", rate,
        "%d-bit PCM" % (8 * width) if tag == PCM else "%d-bit float" % (8 * width))
    return Recording(np.ascontiguousarray(samples.T), float(rate), description)


def read_npy(path):
    try:
        array = np.load(path, allow_pickle=False)
    except (ValueError, OSError, EOFError) as error:
        raise InputError("%s is not a readable .npy array (%s)" % (path, str(error).rstrip("."))) from None
    if array.dtype.kind not in "biufc":
        raise InputError("%s holds %s values, not numbers" % (path, array.dtype))
    if array.ndim == 1:
        array = array[None, :]
    elif array.ndim == 2:
        # Audio tools store samples x channels; a tall array with a few
        # columns is taken that way round.
        if array.shape[0] > array.shape[1] and array.shape[1] <= 8:
            array = array.T
    else:
        raise InputError("%s holds a %d-D array; a signal is 1-D, or 2-D channels x samples"
                         % (path, array.ndim))
    if array.size == 0:
        raise InputError("%s holds no samples" % path)
    dtype = np.complex128 if array.dtype.kind == "c" else np.float64
    return Recording(np.ascontiguousarray(array, dtype=dtype), None,
                     "%s: %d channel%s" % (os.path.basename(path), len(array), "" if len(array) == 1 else "s"))


def read_csv(path, strict=True):
    not_a_signal = "%s is not a WAV file, a .npy array or a one-column CSV" % path
    try:
        with open(path, "rb") as f:
            text = f.read().decode("utf-8-sig")
    except UnicodeDecodeError:
        raise InputError(not_a_signal if not strict else "%s is not a text file" % path) from None
    values = []
    header_seen = False
    for number, line in enumerate(text.splitlines(), 1):
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        fields = [field.strip() for field in line.replace(";", ",").split(",")]
        while fields and fields[-1] == "":
            fields.pop()
        if len(fields) != 1:
            raise InputError("%s line %d has %d columns; the CSV must have one" % (path, number, len(fields)))
        try:
            values.append(float(fields[0]))
        except ValueError:
            if values or header_seen:
                raise InputError("%s line %d is not a number: %r" % (path, number, fields[0][:40])) from None
            if not strict:
                raise InputError(not_a_signal) from None
            header_seen = True
    if not values:
        raise InputError("%s holds no samples" % path)
    return Recording(np.asarray(values, dtype=np.float64)[None, :], None,
                     "%s: 1 channel" % os.path.basename(path))
