"""The signal readers of the command line against independent writers and
readers: WAV files written by the standard ``wave`` module and by
scipy.io.wavfile (and read back by scipy as the reference), .npy files by
numpy, CSV files written here. Unusable files raise InputError."""
import struct
import wave

import numpy as np
import pytest

from varnel import io

rng = np.random.default_rng(7)


def write_pcm(path, samples, width, rate=8000):
    """channels x frames integers -> WAV through the wave module."""
    channels, frames = samples.shape
    interleaved = samples.T.reshape(-1).astype(np.int64)
    if width == 1:
        data = (interleaved + 128).astype(np.uint8).tobytes()
    else:
        data = b"".join(int(v).to_bytes(width, "little", signed=True) for v in interleaved)
    with wave.open(str(path), "wb") as f:
        f.setnchannels(channels)
        f.setsampwidth(width)
        f.setframerate(rate)
        f.writeframes(data)


@pytest.mark.parametrize("width", [1, 2, 3, 4])
@pytest.mark.parametrize("channels", [1, 2])
def test_pcm_wav_of_every_width(tmp_path, width, channels):
    top = 2 ** (8 * width - 1)
    ints = rng.integers(-top, top, size=(channels, 300))
    ints[0, :2] = [-top, top - 1]
    path = tmp_path / "x.wav"
    write_pcm(path, ints, width, rate=22050)
    recording = io.read_signal(path)
    assert recording.fs == 22050 and recording.channels == channels
    np.testing.assert_array_equal(recording.data, ints / top)


@pytest.mark.parametrize("dtype", [np.float32, np.float64, np.int16, np.int32])
def test_wav_written_by_scipy(tmp_path, dtype):
    wavfile = pytest.importorskip("scipy.io.wavfile")
    if np.dtype(dtype).kind == "f":
        samples = rng.uniform(-1, 1, (500, 2)).astype(dtype)
    else:
        samples = rng.integers(np.iinfo(dtype).min, np.iinfo(dtype).max, (500, 2)).astype(dtype)
    path = tmp_path / "s.wav"
    wavfile.write(path, 44100, samples)
    rate, back = wavfile.read(path)
    scale = 1.0 if np.dtype(dtype).kind == "f" else float(-np.iinfo(dtype).min)
    recording = io.read_signal(path)
    assert recording.fs == rate
    np.testing.assert_array_equal(recording.data, back.T.astype(np.float64) / scale)


def test_extensible_float_header(tmp_path):
    samples = rng.uniform(-1, 1, 64).astype("<f4")
    subformat = struct.pack("<H", 3) + b"\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71"
    fmt = struct.pack("<HHIIHHHHI", 0xFFFE, 1, 8000, 32000, 4, 32, 22, 32, 4) + subformat
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    body += b"LIST" + struct.pack("<I", 3) + b"abc\x00"  # odd chunk, padded
    body += b"data" + struct.pack("<I", samples.nbytes) + samples.tobytes()
    path = tmp_path / "e.wav"
    path.write_bytes(b"RIFF" + struct.pack("<I", len(body)) + body)
    np.testing.assert_array_equal(io.read_signal(path).data[0], samples.astype(np.float64))


@pytest.mark.parametrize("shape,channels", [((100,), 1), ((2, 100), 2), ((100, 2), 2), ((3, 5), 3)])
def test_npy_layouts(tmp_path, shape, channels):
    array = rng.standard_normal(shape)
    np.save(tmp_path / "a.npy", array)
    recording = io.read_signal(tmp_path / "a.npy")
    assert recording.channels == channels and recording.fs is None
    want = array.reshape(1, -1) if array.ndim == 1 else (array.T if shape == (100, 2) else array)
    np.testing.assert_array_equal(recording.data, want)


def test_complex_npy_stays_complex(tmp_path):
    z = rng.standard_normal(50) + 1j * rng.standard_normal(50)
    np.save(tmp_path / "z.npy", z)
    assert io.read_signal(tmp_path / "z.npy").data.dtype == np.complex128


def test_csv_with_header_and_comments(tmp_path):
    values = rng.standard_normal(40)
    text = "# exported\nvalue\n" + "\n".join(repr(v) for v in values) + "\n\n"
    (tmp_path / "s.csv").write_text(text)
    np.testing.assert_array_equal(io.read_signal(tmp_path / "s.csv").data[0], values)


BAD = [
    ("missing.wav", None, "no such file"),
    ("noise.bin", bytes(range(256)) * 4, "not a WAV file, a .npy array or a one-column CSV"),
    ("fake.wav", b"not a riff file at all", "no RIFF/WAVE header"),
    ("short.wav", b"RIFF\x04\x00\x00\x00WAVE", "no format chunk"),
    ("two.csv", "1,2\n3,4\n", "has 2 columns"),
    ("words.csv", "a\nb\n", "line 2 is not a number"),
    ("empty.csv", "# nothing\n", "holds no samples"),
    ("cube.npy", "cube", "3-D array"),
    ("objects.npy", "objects", "not a readable .npy array"),
    ("broken.npy", b"\x93NUMPY\x01\x00garbage", "not a readable .npy array"),
]


@pytest.mark.parametrize("name,content,phrase", BAD, ids=[b[0] for b in BAD])
def test_unusable_files(tmp_path, name, content, phrase):
    path = tmp_path / name
    if content == "cube":
        np.save(path, np.zeros((2, 2, 2)))
    elif content == "objects":
        np.save(path, np.array([{}, 1], dtype=object), allow_pickle=True)
    elif isinstance(content, str):
        path.write_text(content)
    elif content is not None:
        path.write_bytes(content)
    with pytest.raises(io.InputError, match=phrase):
        io.read_signal(path)


def test_unsupported_wav_encoding(tmp_path):
    fmt = struct.pack("<HHIIHH", 6, 1, 8000, 8000, 1, 8)  # A-law
    body = b"WAVE" + b"fmt " + struct.pack("<I", 16) + fmt + b"data" + struct.pack("<I", 4) + b"\x00" * 4
    path = tmp_path / "alaw.wav"
    path.write_bytes(b"RIFF" + struct.pack("<I", len(body)) + body)
    with pytest.raises(io.InputError, match="format tag 6, which is not supported"):
        io.read_signal(path)
