"""``python3 -m varnel`` end to end: demo pictures; analyze on generated
files against the numpy layer or the definition; every bad input ends with
status 2, one line on stderr and no files."""
import dataclasses
import os
import resource
import subprocess
import sys
import wave

import numpy as np
import pytest
from scipy import signal as scipy_signal

import varnel
from varnel import cli, methods, plotting

from conftest import REPOSITORY

pytestmark = pytest.mark.usefixtures("library")

RELEASE_LIBRARY = REPOSITORY / "build" / "release" / "src" / "libvarnel.so"


def run_cli(environment, *args, timeout=300, address_space=None):
    """``python3 -m varnel args``, in at most ``address_space`` bytes; a
    sanitized library (whose shadow memory no such limit admits) is then
    replaced by the checkout's release build."""
    limit = None
    if address_space is not None:
        limit = lambda: resource.setrlimit(resource.RLIMIT_AS, (address_space, address_space))  # noqa: E731
        if "libasan" in environment.get("LD_PRELOAD", ""):
            if not RELEASE_LIBRARY.exists():
                pytest.skip("an address-space limit needs an unsanitized library: build build/release")
            environment = dict(environment, VARNEL_LIBRARY=str(RELEASE_LIBRARY))
            del environment["LD_PRELOAD"]
    return subprocess.run([sys.executable, "-m", "varnel", *map(str, args)], env=environment,
                          capture_output=True, text=True, timeout=timeout, preexec_fn=limit)


def in_process(capsys, *args):
    """(status, stdout, stderr) of the command line run in this process."""
    return (cli.main([str(a) for a in args]), *capsys.readouterr())


def assert_picture(path, size):
    """A whole PNG (the reader checks its chunks) of ``size`` pixels with a picture in it."""
    data, image = path.read_bytes(), pytest.importorskip("matplotlib.image").imread(str(path))
    assert data[:8] == b"\x89PNG\r\n\x1a\n" and data.rstrip(b"\x00")[-8:-4] == b"IEND"
    assert image.shape[:2] == (size[1], size[0])
    assert len(np.unique(image[::3, ::3, :3].reshape(-1, 3), axis=0)) > 50 and np.std(image[..., :3]) > 0.05


def write_wav(path, channels, fs=8000):
    """16-bit samples; returns what the file holds, as the readers give it."""
    data = np.clip(np.round(np.asarray(channels).T * 32767), -32768, 32767).astype("<i2")
    with wave.open(str(path), "wb") as f:
        f.setparams((data.shape[1], 2, fs, 0, "NONE", ""))
        f.writeframes(data.tobytes())
    return data.T / 32768


def tone(frequency, n, fs=8000, amplitude=0.5):
    return amplitude * np.sin(2 * np.pi * frequency * np.arange(n) / fs)


def outputs(tmp_path, name):
    return ["--out", tmp_path / (name + ".png"), "--npy", tmp_path / (name + ".npy")]


def test_demo_writes_every_representation(tmp_path, cli_environment):
    result = run_cli(cli_environment, "demo", "--out", tmp_path / "pictures")
    assert result.returncode == 0, result.stderr
    available = [m for m in methods.METHODS.values() if m.available()]
    expected = [tmp_path / "pictures" / ("%s.png" % name) for name in [m.name for m in available] + ["overview"]]
    assert result.stdout.split() == [w for p in expected for w in ("wrote", str(p))]
    for path in expected[:-1]:
        assert_picture(path, plotting.figure_size(1))
    assert_picture(expected[-1], plotting.overview_size(len(available)))
    assert set(plotting.CAPTIONS) == set(methods.METHODS) and "gabor-sp" in [m.name for m in available]
    names = list(methods.METHODS)  # the reassigned spectrogram beside the plain one
    order = [names[i] for i in cli.overview_order(names)]
    assert order.index("spectrogram") % 2 == 0 and order[order.index("spectrogram") + 1] == "reassigned"


@pytest.mark.parametrize("method", sorted(methods.METHODS))
def test_every_method_finds_the_tones(method):
    # The registry's entries as analyze runs them, without the picture.
    entry = methods.METHODS[method]
    if not entry.available():
        pytest.skip("the loaded library lacks %s" % method)
    grid = methods.Grid(cli.parse_window(None, 128, entry.window), 32, 128)
    tf = cli.analyse(entry, np.stack([tone(500, 6000), tone(2500, 6000)]), 8000.0, grid, show_progress=False)
    assert tf.shape[0] == 2 and tf.shape[-1] == len(tf.freqs) and tf.shape[-2] == len(tf.times)
    middle = np.abs(np.asarray(tf)[:, tf.shape[1] // 2])
    np.testing.assert_allclose(tf.freqs[middle.argmax(axis=1)], [500, 2500], atol=8000 / 128)
    assert np.all(np.diff(tf.times) > 0) and 0.3 < tf.times[tf.shape[1] // 2] < 0.45


def test_analyze_gabor_spectrogram_with_order_and_overlay(tmp_path, capsys, monkeypatch):
    # A chirp: the array is the numpy layer's spectrogram of the chosen
    # order, and the overlay draws the centroid track of that very map.
    t = np.arange(6000) / 8000.0
    x = write_wav(tmp_path / "chirp.wav", [0.5 * np.cos(2 * np.pi * (500 * t + 1500 * t ** 2))])[0]
    drawn, original = [], plotting._draw_track
    monkeypatch.setattr(plotting, "_draw_track", lambda ax, track: (drawn.append(track), original(ax, track)))
    status, _, err = in_process(capsys, "analyze", tmp_path / "chirp.wav", "--method", "gabor-sp", "--order", 3,
                                "--bins", 128, "--hop", 16, "--if-overlay", *outputs(tmp_path, "g"))
    assert status == 0, err
    assert_picture(tmp_path / "g.png", plotting.figure_size(1))
    want = varnel.gabor_spectrogram(x, hop=16, bins=128, order=3, fs=8000.0)
    np.testing.assert_allclose(np.load(tmp_path / "g.npy"), want, rtol=0, atol=1e-12 * np.max(np.abs(want)))
    [(times, freqs)] = drawn
    middle = slice(len(times) // 4, -len(times) // 4)
    np.testing.assert_allclose(times, want.times)
    np.testing.assert_allclose(freqs[middle], ((want * want.freqs).sum(axis=1) / want.sum(axis=1))[middle], rtol=1e-9)
    np.testing.assert_allclose(freqs[middle], 500 + 3000 * times[middle], rtol=0.02)


@pytest.mark.parametrize("layout", ["mono", "stereo", "chosen"])
def test_analyze_adaptive_titles_its_residual(tmp_path, capsys, monkeypatch, layout):
    # Chirps need more than five terms, so the percentages left are large
    # enough to be shown with one decimal. Chosen channels are numbered from
    # 1, in the order given, and keep their names; one left out may hold
    # anything, even samples that would be refused.
    t = np.arange(6000) / 8000.0
    chirps = [0.5 * np.cos(2 * np.pi * (500 * t + 900 * t ** 2)), 0.5 * np.cos(2 * np.pi * (2000 * t + 1200 * t ** 2))]
    path, options, names = tmp_path / "a.wav", [], ["left", "right"]
    if layout == "chosen":
        path, options, names = tmp_path / "a.npy", ["--channels", "3,1", "--fs", 8000], ["channel 3", "channel 1"]
        np.save(path, [chirps[0], np.full(6000, np.nan), chirps[1]])
        data = chirps[::-1]
    else:
        data = write_wav(path, chirps[:1 if layout == "mono" else 2])
    drawn, original = [], plotting.save_representation
    monkeypatch.setattr(plotting, "save_representation", lambda path, tf, title, **options: (
        drawn.append((title, options["channel_names"])), original(path, tf, title, **options)))
    status, _, err = in_process(capsys, "analyze", path, "--method", "adaptive", "--terms", 5, *options,
                                "--bins", 128, "--hop", 16, *outputs(tmp_path, "a"))
    assert status == 0 and err == "", err
    assert_picture(tmp_path / "a.png", plotting.figure_size(len(data)))
    decompositions = [varnel.adaptive_transform(x, 5, fs=8000.0) for x in data]
    summaries = ["5 terms, residual %.1f %%" % d.residual_percent for d in decompositions]
    assert all(d.residual_percent > 1 for d in decompositions)
    assert drawn == ([("Adaptive spectrogram (%s) of a.wav" % summaries[0], None)] if len(data) == 1 else
                     [("Adaptive spectrogram of " + path.name, ["%s (%s)" % n for n in zip(names, summaries)])])
    want = np.stack([d.spectrogram(hop=16, bins=128) for d in decompositions])
    np.testing.assert_allclose(np.load(tmp_path / "a.npy"), want[0] if len(data) == 1 else want, rtol=1e-12)


@pytest.mark.parametrize("suffix,method,options", [(".npy", "spectrogram", dict(boundary="symmetric")),
                                                   (".csv", "stft", dict(onesided=True, boundary=None))])
def test_analyze_arrays_and_csv(tmp_path, capsys, suffix, method, options):
    x, path = tone(0.1, 3000, fs=1.0), tmp_path / ("signal" + suffix)
    np.save(path, x) if suffix == ".npy" else path.write_text("amplitude\n" + "\n".join("%.17g" % v for v in x))
    boundary = ["--boundary", options["boundary"]] if options["boundary"] else []
    status, out, err = in_process(capsys, "analyze", path, "--method", method, "--window", "hamming:200", *boundary,
                                  "--bins", 256, "--hop", 50, *outputs(tmp_path, "a"))
    assert status == 0, err
    assert out.split() == ["wrote", str(tmp_path / "a.png"), "wrote", str(tmp_path / "a.npy")]
    mask = os.umask(0)
    os.umask(mask)
    assert (tmp_path / "a.png").stat().st_mode & 0o777 == 0o666 & ~mask
    want = getattr(varnel, method)(x, window=scipy_signal.get_window("hamming", 200), hop=50, bins=256, **options)
    np.testing.assert_allclose(np.load(tmp_path / "a.npy"), want, rtol=0, atol=1e-12 * np.max(np.abs(want)))


@pytest.mark.parametrize("method,progress", [("spectrogram", ["--progress"]), ("stft", [])])
def test_long_input_shows_progress_and_matches_one_call(tmp_path, capsys, method, progress):
    # Blocks join into the frames (and phases) of one call; the size is
    # announced first, the bar shown on a terminal (not here) or when asked.
    n = (1 << 20) + 12345
    x = write_wav(tmp_path / "long.wav", [np.random.default_rng(3).uniform(-0.5, 0.5, n)])[0]
    status, _, err = in_process(capsys, "analyze", tmp_path / "long.wav", "--method", method, "--bins", 64, "--hop",
                                16, *progress, *outputs(tmp_path, "long"))
    assert status == 0, err
    assert ("100%" in err and "sample/s" in err) if progress else "%" not in err
    assert err.startswith("varnel: %s of 1 channel x %d samples: %d frames x %d bins, about "
                          % (method, n, (n - 64) // 16 + 1, 32 if method == "spectrogram" else 33))
    options = {} if method == "spectrogram" else {"onesided": True, "boundary": None}
    want = getattr(varnel, method)(x, window=scipy_signal.get_window("hann", 64), hop=16, bins=64, **options)
    np.testing.assert_allclose(np.load(tmp_path / "long.npy"), want, rtol=0, atol=1e-12 * np.max(np.abs(want)))
    assert_picture(tmp_path / "long.png", plotting.figure_size(1))


@pytest.mark.parametrize("options, length, hop, bins", [
    (["--window", "hann:1024", "--hop", 256], 1024, 256, 1024),
    (["--window", "hann:1024", "--bins", 256], 1024, 256, 256), (["--bins", 128], 128, 32, 128), ([], 256, 64, 256)])
def test_the_grid_follows_the_window(tmp_path, capsys, options, length, hop, bins):
    x = write_wav(tmp_path / "x.wav", [np.random.default_rng(5).uniform(-0.5, 0.5, 6000)])[0]
    status, _, err = in_process(capsys, "analyze", tmp_path / "x.wav", "--method", "spectrogram", *options,
                                *outputs(tmp_path, "x"))
    assert status == 0, err
    folds = ["varnel: note: the 1024-sample window is folded onto 256 bins (--bins 1024 would not fold it)"]
    assert err.splitlines() == (folds if bins < length else [])
    # Folding sums the window's bins-long pieces; |FFT|^2 ignores where the fold starts.
    frames = np.lib.stride_tricks.sliding_window_view(x, length)[::hop] * scipy_signal.get_window("hann", length)
    want = np.abs(np.fft.fft(frames.reshape(len(frames), -1, bins).sum(axis=1))[:, :bins // 2]) ** 2 / bins
    np.testing.assert_allclose(np.load(tmp_path / "x.npy"), want, rtol=1e-9, atol=1e-12 * want.max())


def bad_inputs(tmp):
    write_wav(tmp / "short.wav", [tone(440, 1000)])
    write_wav(tmp / "longer.wav", [tone(440, 60000)])
    bad = np.zeros((2, 3000))
    bad[1, 1234] = -np.inf
    (tmp / "in").mkdir()
    np.save(tmp / "in" / "inf.npy", bad)
    np.save(tmp / "in" / "many.npy", np.zeros((20, 3000)))
    (tmp / "silence.csv").write_text("0\n" * 1000)
    (tmp / "seven.csv").write_text("1\n" * 7)
    return dict(ok=tmp / "short.wav", npy=tmp / "o.npy", tmp=tmp)


# One case per check of the command line and per kind of error it turns
# into a line (usage, unreadable input, the package's and the library's
# refusals, a map that cannot be drawn); the readers' own refusals are
# test_package_io's. (case, arguments after analyze with {ok}, {npy}, {tmp}
# filled in, phrase of the one line). The cases marked * run through the
# interpreter's -m entry in 2 GB of address space, so that a size checked
# too late fails there at once; the rest run in this process.
BAD = [
    ("*missing file", "{tmp}/absent.wav -m stft", "no such file"),
    ("*huge window", "{ok} -m stft --window hann:268435456",
     "window (268435456 samples) must be shorter than the signal (1000 samples)"),
    ("*huge bins without a window", "{ok} -m wvd --bins 1073741824",
     "--bins 1073741824 is more than the 1000 samples of the signal can fill; give --bins 1024 or fewer"),
    ("default bins over a short signal", "{tmp}/seven.csv -m cwd", "the default --bins 256 is more than the 7"),
    ("too short for any options", "{tmp}/seven.csv -m adaptive", "has only 7 samples; adaptive needs at least 8"),
    ("*more memory than allowed", "{tmp}/longer.wav -m spectrogram --window 32768 --hop 1", "more than the"),
    ("one bin", "{ok} -m stft --bins 1", "--bins must be at least 2"),
    ("bins not a power of two", "{ok} -m stft --bins 1000", "--bins 1000 is not a power of two"),
    ("one-sample window", "{ok} -m spectrogram --window hann:1", "window length must be at least 2"),
    ("option the method does not use", "{ok} -m stft --order 3", "--order is not used by stft"),
    ("infinite sample", "{tmp}/in/inf.npy -m stft --fs 1000",
     "inf.npy has a non-finite sample (-inf) in channel 2 at sample 1234 (1.234 s)"),
    ("too many channels", "{tmp}/in/many.npy -m stft --npy {npy}",
     "has 20 channels and a picture shows at most 16; choose some with --channels"),
    ("unknown method", "{ok} -m wavelets", "unknown method"),
    ("unknown window", "{ok} -m stft --window kaiser", "unknown window"),
    ("missing option", "{ok}", "required: --method"),
    ("picture not PNG", "{ok} -m stft --out {tmp}/o.jpg", "must name a .png file"),
    ("output folder missing", "{ok} -m stft --out {tmp}/no/o.png", "does not exist"),
    ("Gabor window", "{ok} -m dgt --window gaussian:100 --bins 64 --hop 16",
     "multiple of --bins (window 100, bins 64)"),
    ("Gabor hop", "{ok} -m gabor-sp --bins 4 --hop 8", "--hop 8 is more than --bins 4"),
    ("negative order", "{ok} -m gabor-sp --order -1", "--order must not be"),
    ("order past the lattice", "{ok} -m gabor-sp --order 16", "--order 16 is above 15, the highest this lattice"),
    ("negative terms", "{ok} -m adaptive --terms -1", "--terms must be at least 1"),
    ("sample rate not a number", "{ok} -m stft --fs nan --npy {npy}",
     "--fs must be a positive finite number (got nan)"),
    ("sample rate beyond the picture", "{ok} -m stft --fs 1e300", "a picture needs both between 1e-280 and"),
    ("silent input", "{tmp}/silence.csv -m wvd --npy {npy}",
     "the map is zero everywhere, so it has no level in dB to draw; nothing was drawn"),
]


@pytest.mark.parametrize("case,args,phrase", BAD, ids=[b[0] for b in BAD])
def test_bad_input_ends_with_one_line_and_status_2(tmp_path, cli_environment, capsys, case, args, phrase):
    args = args.replace(" -m ", " --method ").format(**bad_inputs(tmp_path)).split()
    args += [] if "--out" in args else ["--out", str(tmp_path / "o.png")]
    if case.startswith("*"):
        result = run_cli(cli_environment, "analyze", *args, timeout=20, address_space=2 << 30)
        status, err = result.returncode, result.stderr
    else:
        status, _, err = in_process(capsys, "analyze", *args)
    assert status == 2 and "Traceback" not in err, err
    lines = err.splitlines()
    assert len(lines) == 1 and lines[0].startswith("varnel: error: ") and phrase in lines[0]
    assert not [p.name for p in tmp_path.iterdir() if p.suffix in (".png", ".npy") or p.name.startswith(".varnel")]


@pytest.mark.parametrize("option,value,phrase", [("--fs", "256", "gives 256 samples; the demo needs more than --bins"),
                                                  ("--duration", "3e5", "the library takes at most 2^31 - 1"),
                                                  ("--duration", "2.6e5", "a shorter --duration or a lower --fs"),
                                                  ("--hop", "3", "--hop 3 does not divide the 256-sample window")])
def test_demo_refuses_before_it_starts(tmp_path, capsys, option, value, phrase):
    status, out, err = in_process(capsys, "demo", option, value, "--out", tmp_path / "pictures")
    assert status == 2 and out == "" and phrase in err and list(tmp_path.iterdir()) == []


def test_a_run_that_fails_half_way_leaves_no_files(tmp_path, capsys, monkeypatch):
    def fails(*args, **kwargs):
        raise MemoryError

    monkeypatch.setitem(methods.METHODS, "dgt", dataclasses.replace(methods.METHODS["dgt"], compute=fails))
    assert in_process(capsys, "demo", "--out", tmp_path)[0] == 2 and list(tmp_path.iterdir()) == []


def test_missing_library_is_one_line(tmp_path, cli_environment):
    environment = dict(cli_environment, VARNEL_LIBRARY=str(tmp_path / "libvarnel.so"))
    write_wav(tmp_path / "x.wav", [tone(440, 2000)])
    result = run_cli(environment, "analyze", tmp_path / "x.wav", "--method", "stft", "--out", tmp_path / "x.png")
    assert result.returncode == 1 and len(result.stderr.splitlines()) == 1 and "libvarnel.so not found" in result.stderr
