"""Reading signals for the command line: audio files, .npy arrays and
one-column CSV.

``read_signal(path)`` returns a Recording with the samples as channels x
samples (float64, or complex128 for a complex .npy array) and the sample
rate when the file carries one. Anything it cannot read raises InputError
with one sentence that names the file and says why.

Audio is decoded by libsndfile through the soundfile module (Debian:
python3-soundfile); without it .npy and CSV files still work. Integer PCM
is scaled to [-1, 1): divided by 2^(bits-1), after subtracting 128 for
8-bit WAV, which is unsigned. Float samples are taken as they are.

libsndfile quietly reads whatever part of a truncated WAV or AIFF file is
there, and makes little sense of a sample rate of 0 (an obscure error for
WAV, a rate of 1 Hz for AIFF), so the chunk headers of those two are
checked here first: a format or sample chunk that claims more bytes than
the file holds is refused as truncated, and so is a rate that is not a
positive 31-bit number. A sample chunk size of 0xFFFFFFFF is different:
streaming writers (ffmpeg, arecord or sox writing to a pipe) leave it there
because they cannot go back to fill in the length. Such a file is read to
its end, and the Recording's ``notice`` says that its length was taken from
the file size. A truncated FLAC or OGG file is refused too: libsndfile
either fails to decode it or cannot find where its stream ends.
"""
import dataclasses
import math
import os
import struct

import numpy as np

# What read_signal reads, for messages and the command line's help.
FORMATS = "WAV (8/16/24/32-bit PCM, float), FLAC, OGG, AIFF, .npy, one-column CSV"

UNKNOWN_LENGTH = 0xFFFFFFFF    # a RIFF/FORM chunk size
UNKNOWN_FRAMES = 2 ** 63 - 1   # libsndfile's frame count when it cannot find one


@dataclasses.dataclass(frozen=True)
class AudioKind:
    name: str
    extensions: tuple
    magic: bytes          # the file's first bytes
    form: tuple           # RIFF/FORM type at bytes 8..11, when it has one
    header: str           # what a file without the magic lacks, for messages

    def matches(self, head):
        return head.startswith(self.magic) and (not self.form or head[8:12] in self.form)


AUDIO = (
    AudioKind("WAV", (".wav", ".wave"), b"RIFF", (b"WAVE",), "RIFF/WAVE header"),
    AudioKind("AIFF", (".aif", ".aiff", ".aifc"), b"FORM", (b"AIFF", b"AIFC"), "FORM/AIFF header"),
    AudioKind("FLAC", (".flac",), b"fLaC", (), "fLaC marker"),
    AudioKind("OGG", (".ogg", ".oga", ".opus"), b"OggS", (), "OggS page"),
)


class InputError(ValueError):
    """An input file that cannot be used; the message is one sentence."""


@dataclasses.dataclass
class Recording:
    data: np.ndarray          # channels x samples
    fs: float                 # None when the file has no rate
    description: str
    notice: str = None        # one sentence about a liberty the reader took, to show the user

    @property
    def channels(self):
        return self.data.shape[0]


def read_signal(path):
    """Read an audio file, a .npy array or a one-column CSV (chosen by
    content, then by extension)."""
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
    if not head:
        raise InputError("%s is empty" % path)
    if head[:6] == b"\x93NUMPY":
        return read_npy(path)
    for kind in AUDIO:
        if kind.matches(head):
            return read_audio(path, kind)
    extension = os.path.splitext(path)[1].lower()
    for kind in AUDIO:
        if extension in kind.extensions:
            raise InputError("%s is not a %s file (it has no %s)" % (path, kind.name, kind.header))
    if extension == ".npy":
        raise InputError("%s is not a .npy array (it has no NumPy header)" % path)
    return read_csv(path, strict=extension in (".csv", ".txt"))


def read_audio(path, kind):
    """Decode a WAV, AIFF, FLAC or OGG file with libsndfile."""
    try:
        import soundfile
    except (ImportError, OSError):
        raise InputError("%s is a %s file, and reading it needs the soundfile module: install "
                         "python3-soundfile" % (path, kind.name)) from None
    unstated = _check_chunks(path) if kind.form else None
    try:
        with soundfile.SoundFile(path) as f:
            frames = f.frames
            if frames == UNKNOWN_FRAMES:
                # libsndfile's answer for an OGG stream whose last page is
                # missing, and for a FLAC stream that does not state its length
                # (which it cannot read).
                raise InputError("%s is truncated or damaged: libsndfile cannot find where its %s stream "
                                 "ends" % (path, kind.name))
            samples = f.read(frames, dtype="float64", always_2d=True)
            rate, encoding = f.samplerate, f.subtype_info
    except soundfile.LibsndfileError as error:
        reason = error.error_string.removeprefix("Error : ").rstrip(". ")
        raise InputError("%s cannot be decoded as %s (libsndfile: %s)" % (path, kind.name, reason)) from None
    if not len(samples):
        raise InputError("%s holds no samples" % path)
    notice = None
    if unstated:
        notice = "%s does not state its length (%s); the %d frames up to its end were read" % (
            path, unstated, len(samples))
    channels = samples.shape[1]
    description = "%s: %d channel%s, %d Hz, %s %s" % (
        os.path.basename(path), channels, "" if channels == 1 else "s", rate, encoding, kind.name)
    return Recording(np.ascontiguousarray(samples.T), float(rate), description, notice)


def _wav_rate(fmt):
    return struct.unpack_from("<I", fmt, 4)[0] if len(fmt) >= 8 else None


def _aiff_rate(comm):
    """The sample rate of a COMM chunk: an 80-bit IEEE extended number."""
    if len(comm) < 18:
        return None
    exponent, mantissa = struct.unpack_from(">HQ", comm, 8)
    if exponent & 0x7FFF == 0x7FFF:
        return math.inf
    return math.copysign(math.ldexp(mantissa, (exponent & 0x7FFF) - 16383 - 63), -1 if exponent >> 15 else 1)


# Per container: byte order, format chunk, sample chunk, rate of the format chunk.
_AIFF_CHUNKS = (">", b"COMM", b"SSND", _aiff_rate)
_CHUNKS = {b"WAVE": ("<", b"fmt ", b"data", _wav_rate), b"AIFF": _AIFF_CHUNKS, b"AIFC": _AIFF_CHUNKS}


def _check_chunks(path):
    """Walk the chunks of a RIFF/WAVE or FORM/AIFF file (a 4-byte name, a
    4-byte size, the body padded to even length) and refuse a truncated
    file or an unusable rate before libsndfile glosses over them. Returns
    why the length is unknown, or None when it is stated."""
    size = os.path.getsize(path)
    unstated = rate = None
    seen_samples = False
    with open(path, "rb") as f:
        f.seek(8)
        order, fmt, samples, rate_of = _CHUNKS[f.read(4)]
        offset = 12
        while offset + 8 <= size:
            f.seek(offset)
            name, length = struct.unpack(order + "4sI", f.read(8))
            body = offset + 8
            if name == samples and length == UNKNOWN_LENGTH:
                unstated = "its %s chunk size is 0xFFFFFFFF, as streaming writers leave it" % name.decode()
                break
            if body + length > size:
                # Past the samples, a damaged minor chunk is libsndfile's business.
                if name == fmt or not seen_samples:
                    raise InputError("%s is truncated: its %s chunk announces %d bytes but only %d follow"
                                     % (path, name.decode("latin-1").strip(), length, size - body))
                break
            if name == fmt:
                rate = rate_of(f.read(min(length, 18)))
            seen_samples = seen_samples or name == samples
            offset = body + length + (length & 1)
    if rate is not None and not 1 <= rate < 2 ** 31:
        raise InputError("%s has a sample rate of %g Hz in its header, which is unusable" % (path, rate))
    return unstated


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
    not_a_signal = "%s is in none of the formats read here: %s" % (path, FORMATS)
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
