"""varnel.dask against the one-call functions: long signals cut into chunks
that do not fall on the hop give the one call's values, frames and axes;
a batch of files analyses each as one call would, records a damaged file
and goes on, and a rerun leaves done work alone; the batch command refuses
bad requests in one sentence."""
import json
import os
import subprocess
import sys

import numpy as np
import pytest

import varnel
from varnel import cli

distributed = pytest.importorskip("distributed")
dask = pytest.importorskip("dask")
da = pytest.importorskip("dask.array")
import varnel.dask as vd  # noqa: E402  (needs dask, checked above)

pytestmark = pytest.mark.usefixtures("library")

FS = 8000.0


@pytest.fixture(scope="module")
def client():
    # A worker that dies (a sanitizer's report) fails the task at once instead of on every worker in turn.
    with dask.config.set({"distributed.scheduler.allowed-failures": 0}), \
            distributed.LocalCluster(n_workers=2, processes=True, threads_per_worker=1, dashboard_address=None) \
            as cluster, distributed.Client(cluster) as c:
        yield c


def chirp(n, complex_=False, channels=None):
    t = np.arange(n)
    x = np.cos(2e-5 * t * t + 0.3) + 0.2 * np.random.default_rng(n).standard_normal((channels or 1, n))
    x = x * np.exp(0.7j * t) if complex_ else x
    return x if channels else x[0]


# (function, keywords, complex signal, channels): each end of the signal
# needs its rule (zero padding, extension, the Gabor transform's wrap-around).
CASES = [
    ("spectrogram", dict(nperseg=300, hop=70, bins=512), False, None),
    ("spectrogram", dict(boundary="periodic", scaling="density"), False, 2),
    ("spectrogram", dict(boundary="symmetric", hop=50), True, None),
    ("stft", dict(hop=96, start=11), False, None),
    ("stft", dict(window="hamming", nperseg=200, hop=30, bins=128, onesided=True, boundary="linear"), False, None),
    ("stft", dict(nperseg=128, hop=40), True, 2),
    ("dgt", dict(), False, None),
    ("dgt", dict(window=np.hanning(512), hop=128, bins=256), True, None),
    ("dgt", dict(hop=32, boundary="tapered-symmetric"), False, None),
    ("reassigned_spectrogram", dict(hop=20, nperseg=160), False, None),
    ("reassigned_spectrogram", dict(hop=64, boundary="zero"), True, None),
    ("reassigned_spectrogram", dict(hop=48, nperseg=256, bins=128), False, 2),
]


@pytest.mark.parametrize("name, keywords, complex_, channels", CASES)
def test_chunked_signal_gives_the_one_call_result(client, name, keywords, complex_, channels):
    x = chirp(24_011, complex_, channels)
    expected = getattr(varnel, name)(x, FS, **keywords)
    lazy = getattr(vd, name)(da.from_array(x, chunks=x.shape[:-1] + (2_999,)), FS, **keywords)
    assert isinstance(lazy.data, da.Array) and len(lazy.chunks[-2]) >= 5
    assert lazy.shape == expected.shape
    got = lazy.compute()
    scale = np.max(np.abs(expected))
    assert np.max(np.abs(np.asarray(got) - np.asarray(expected))) <= 1e-12 * scale
    assert np.array_equal(got.times, expected.times) and np.array_equal(got.freqs, expected.freqs)
    assert (got.layout, got.signal_length) == (expected.layout, expected.signal_length)


def test_many_threads_of_one_worker_share_the_plan_cache():
    # Blocks of several lengths, prime-factor ones among them, computed by
    # eight threads at once: plans are built, shared and freed concurrently.
    x = chirp(40_000)
    lengths = (256, 300, 1009, 1024)
    lazy = [vd.spectrogram(da.from_array(x, chunks=1_501), FS, nperseg=n, hop=n // 3).data for n in lengths]
    for got, n in zip(dask.compute(*lazy, scheduler="threads", num_workers=8), lengths):
        expected = varnel.spectrogram(x, FS, nperseg=n, hop=n // 3)
        assert np.max(np.abs(got - expected)) <= 1e-12 * np.max(np.abs(expected))


def write_inputs(folder):
    soundfile = pytest.importorskip("soundfile")
    rng = np.random.default_rng(5)
    signals = {}
    for i, n in enumerate((6000, 9000, 7001)):
        soundfile.write(folder / ("tone%d.wav" % i), np.sin(2 * np.pi * 440 * (i + 1) * np.arange(n) / FS) / 2,
                        int(FS), subtype="FLOAT")
        signals["tone%d.wav" % i] = soundfile.read(folder / ("tone%d.wav" % i))[0]
    signals["pair.npy"] = rng.standard_normal((2, 5000))
    np.save(folder / "pair.npy", signals["pair.npy"])
    (folder / "broken.wav").write_bytes(b"RIFF\x24\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00")
    return signals


def test_batch_records_failures_and_a_rerun_skips_done_work(client, tmp_path):
    signals = write_inputs(tmp_path)
    inputs = [tmp_path / name for name in ("tone0.wav", "broken.wav", "tone1.wav", "pair.npy", "tone2.wav")]
    out = tmp_path / "out"
    rows = vd.batch(inputs, "spectrogram", out, client=client, progress=None, window="hann:128")
    index = json.loads((out / "index.json").read_text())
    assert [r["status"] for r in index] == ["done", "failed", "done", "done", "done"] == [r["status"] for r in rows]
    assert "broken.wav" in index[1]["error"] and not os.path.exists(out / index[1]["output"])
    for row in index:
        if row["status"] == "done":
            name = os.path.basename(row["input"])
            fs = 1.0 if name.endswith(".npy") else FS
            expected = varnel.spectrogram(signals[name], fs, nperseg=128)
            values = np.load(out / row["output"])
            assert values.shape == expected.shape == tuple(row["shape"])
            assert np.max(np.abs(values - expected)) <= 1e-12 * np.max(expected)
    assert sorted(os.listdir(out)) == sorted([r["output"] for r in index if r["status"] == "done"] + ["index.json"])

    stamps = {r["output"]: os.stat(out / r["output"]).st_mtime_ns for r in index if r["status"] == "done"}
    os.remove(out / index[2]["output"])  # as if lost: done in the index, but not there
    again = vd.batch(inputs, "spectrogram", out, client=client, progress=None, window="hann:128")
    assert [r["skipped"] for r in again] == [True, False, False, True, True]
    for output, stamp in stamps.items():
        assert output == index[2]["output"] or os.stat(out / output).st_mtime_ns == stamp
    assert [r["status"] for r in json.loads((out / "index.json").read_text())] == [r["status"] for r in index]
    other = vd.batch(inputs[:1], "stft", out, client=client, progress=None)  # another method: redone
    assert not other[0]["skipped"] and np.load(out / index[0]["output"]).dtype.kind == "c"


def test_batch_command_on_a_running_scheduler(client, tmp_path, cli_environment):
    write_inputs(tmp_path)
    done = subprocess.run([sys.executable, "-m", "varnel", "batch", "tone0.wav", "pair.npy", "--method", "dgt",
                           "--out", "maps", "--scheduler", client.scheduler.address, "--hop", "64"],
                          cwd=tmp_path, env=cli_environment, capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    assert "[2/2]" in done.stderr
    rows = json.loads((tmp_path / "maps" / "index.json").read_text())
    expected = varnel.dgt(np.load(tmp_path / "pair.npy"), window="gaussian", nperseg=256, hop=64)
    assert np.allclose(np.load(tmp_path / "maps" / rows[1]["output"]), expected, rtol=0, atol=1e-12)


# argv after "batch", and a phrase of the refusal.
REFUSALS = [
    (["missing.wav", "--method", "spectrogram", "--out", "o"], "no such file"),
    (["tone0.wav", "--method", "nope", "--out", "o"], "unknown method"),
    (["tone0.wav", "--method", "spectrogram", "--out", "tone1.wav/o"], "cannot write into"),
    (["tone0.wav", "--method", "spectrogram", "--out", "o", "--workers", "0"], "--workers must be at least 1"),
    (["tone0.wav", "--method", "wvd", "--out", "o", "--window", "hann"], "--window is not used by wvd"),
    (["tone0.wav", "--method", "spectrogram", "--out", "o", "--scheduler", "tcp://127.0.0.1:9"],
     "cannot reach the scheduler"),
    (["tone0.wav", "--method", "spectrogram", "--out", "o", "--bins", "100"], "not a power of two"),
    (["tone0.wav", "--method", "spectrogram", "--out", "o", "DASK MISSING"], "python3-distributed"),
]


@pytest.mark.parametrize("argv, phrase", REFUSALS, ids=[p for _, p in REFUSALS])
def test_batch_command_refusals(argv, phrase, tmp_path, monkeypatch, capsys):
    write_inputs(tmp_path)
    monkeypatch.chdir(tmp_path)
    if "DASK MISSING" in argv:
        argv = argv[:-1]
        monkeypatch.setitem(sys.modules, "distributed", None)
    assert cli.main(["batch"] + argv) == 2
    captured = capsys.readouterr()
    assert phrase in captured.err and captured.err.count("\n") == 1 and "Traceback" not in captured.err
    assert not os.path.exists(tmp_path / "o")


def test_the_package_does_not_import_dask(cli_environment):
    code = "import sys, varnel, varnel.cli; assert not {'dask', 'distributed'} & set(sys.modules)"
    assert subprocess.run([sys.executable, "-c", code], env=cli_environment).returncode == 0
