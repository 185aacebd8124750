"""The command line's signal readers against files written here byte by
byte or by soundfile; unusable files raise InputError naming the problem."""
import struct
import sys

import numpy as np
import pytest

from varnel import io

rng = np.random.default_rng(7)
EXTENSIBLE_GUID_TAIL = b"\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71"


def riff(samples, tag=1, bits=16, rate=8000, extensible=False, data_size=None):
    """frames x channels array of stored values -> WAV bytes."""
    frames, channels = samples.shape
    block = channels * bits // 8
    fmt = struct.pack("<HHIIHH", 0xFFFE if extensible else tag, channels, rate, rate * block, block, bits)
    if extensible:
        fmt += struct.pack("<HHI", 22, bits, 0) + struct.pack("<H", tag) + EXTENSIBLE_GUID_TAIL
    if bits == 24:
        data = b"".join(int(v).to_bytes(3, "little", signed=True) for v in samples.reshape(-1))
    else:
        data = samples.astype(samples.dtype.newbyteorder("<")).tobytes()
    size = len(data) if data_size is None else data_size
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", size) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


def pcm(bits, channels=1, frames=300):
    """Stored integers, both extremes first, and the values they stand for."""
    top = 2 ** (bits - 1)
    values = rng.integers(-top, top, size=(frames, channels))
    values[:2, 0] = [-top, top - 1]
    return values.astype(np.int16 if bits == 16 else np.int32), values / top


FLOATS = rng.uniform(-1.5, 1.5, (200, 2)).astype(np.float32)
# The decoding is libsndfile's; these pin the layout (channels x samples)
# and scaling through the chunk checks of extensible headers (the plain
# ones are read everywhere else), and a data chunk of unknown length
# (0xFFFFFFFF, as streaming writers leave it) read to the end with a notice.
VARIANTS = {
    "24-bit": (pcm(24), {"bits": 24, "extensible": True}, None),
    "stereo float32": ((FLOATS, FLOATS.astype(np.float64)), {"tag": 3, "bits": 32, "extensible": True}, None),
    "unknown length": (pcm(16, channels=2), {"data_size": 0xFFFFFFFF}, "0xFFFFFFFF"),
}


@pytest.mark.parametrize("name", VARIANTS)
def test_wav_variants(tmp_path, name):
    (stored, want), options, notice = VARIANTS[name]
    (tmp_path / "x.wav").write_bytes(riff(stored, rate=22050, **options))
    recording = io.read_signal(tmp_path / "x.wav")
    assert recording.fs == 22050 and (recording.notice is None if notice is None else notice in recording.notice)
    np.testing.assert_array_equal(recording.data, want.T)


@pytest.mark.parametrize("extension,subtype", [("flac", "PCM_24"), ("aiff", "PCM_16")])
def test_lossless_round_trip(tmp_path, extension, subtype):
    soundfile = pytest.importorskip("soundfile")
    bits = int(subtype[-2:])
    want = rng.integers(-2 ** (bits - 1), 2 ** (bits - 1), (1000, 2)) / 2 ** (bits - 1)
    soundfile.write(tmp_path / ("x." + extension), want, 44100, subtype=subtype)
    recording = io.read_signal(tmp_path / ("x." + extension))
    assert recording.fs == 44100 and np.array_equal(recording.data, want.T)


def test_audio_without_soundfile(tmp_path, monkeypatch):
    stored, _ = pcm(16)
    (tmp_path / "s.wav").write_bytes(riff(stored))
    np.save(tmp_path / "a.npy", np.ones(8))
    monkeypatch.setitem(sys.modules, "soundfile", None)
    with pytest.raises(io.InputError, match="s.wav is a WAV file.*install python3-soundfile"):
        io.read_signal(tmp_path / "s.wav")
    assert io.read_signal(tmp_path / "a.npy").data.shape == (1, 8)


@pytest.mark.parametrize("name,array,want", [
    ("a.npy", rng.standard_normal(100), lambda a: a[None]), ("a.npy", rng.standard_normal((2, 100)), None),
    ("a.npy", rng.standard_normal((100, 2)), lambda a: a.T), ("a.npy", rng.standard_normal((3, 5)), None),
    ("z.npy", rng.standard_normal(50) + 1j * rng.standard_normal(50), lambda a: a[None]),
    ("s.csv", rng.standard_normal(50), lambda a: a[None])], ids=["1-D", "rows", "columns", "short", "complex", "csv"])
def test_arrays_and_csv(tmp_path, name, array, want):
    if name.endswith(".npy"):
        np.save(tmp_path / name, array)
    else:  # a comment, a header and blank lines at the end
        (tmp_path / name).write_text("# exported\nvalue\n" + "\n".join(repr(v) for v in array) + "\n\n")
    recording = io.read_signal(tmp_path / name)
    assert recording.fs is None and recording.channels == len(recording.data)
    np.testing.assert_array_equal(recording.data, array if want is None else want(array))


def cut_ogg(path):
    soundfile = pytest.importorskip("soundfile")
    soundfile.write(path, rng.uniform(-0.5, 0.5, 20000), 8000)
    path.write_bytes(path.read_bytes()[:-3000])


def aiff_at_0_hz(path):
    pytest.importorskip("soundfile").write(path, np.zeros(100), 8000, format="AIFF")
    blob = bytearray(path.read_bytes())
    rate = blob.index(b"COMM") + 16  # an 80-bit float after channels, frames and bits
    path.write_bytes(blob[:rate] + bytes(10) + blob[rate + 10:])


SHORT = pcm(16)[0]  # 300 frames, 600 bytes

BAD = [
    ("missing.wav", None, "no such file"),
    ("empty.wav", b"", "is empty"),
    ("noise.bin", bytes(range(256)) * 4, "in none of the formats read here: WAV"),
    ("fake.wav", b"not a riff file at all", "not a WAV file \\(it has no RIFF/WAVE header"),
    ("truncated.wav", riff(SHORT)[:-100], "truncated: its data chunk announces 600 bytes but only 500 follow"),
    ("rate0.wav", riff(SHORT, rate=0), "sample rate of 0 Hz in its header, which is unusable"),
    ("rate0.aiff", aiff_at_0_hz, "sample rate of 0 Hz in its header, which is unusable"),
    ("silent.wav", riff(SHORT[:0]), "holds no samples"),
    ("encoding.wav", riff(SHORT, tag=0x1234), "cannot be decoded as WAV \\(libsndfile: .*'fmt ' chunk"),
    ("truncated.ogg", cut_ogg, "truncated or damaged: libsndfile cannot find where its OGG stream ends"),
    ("two.csv", "1,2\n3,4\n", "has 2 columns"),
    ("words.csv", "a\nb\n", "line 2 is not a number"),
    ("empty.csv", "# nothing\n", "holds no samples"),
    ("cube.npy", lambda path: np.save(path, np.zeros((2, 2, 2))), "3-D array"),
    ("broken.npy", b"\x93NUMPY\x01\x00garbage", "not a readable .npy array"),
]


@pytest.mark.parametrize("name,content,phrase", BAD, ids=[b[0] for b in BAD])
def test_unusable_files(tmp_path, name, content, phrase):
    path = tmp_path / name
    if callable(content):
        content(path)
    elif isinstance(content, str):
        path.write_text(content)
    elif content is not None:
        path.write_bytes(content)
    with pytest.raises(io.InputError, match="^[^\\n]*%s[^\\n]*$" % phrase) as error:
        io.read_signal(path)
    assert name in str(error.value)
