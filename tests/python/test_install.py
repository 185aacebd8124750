"""pip installs the package with its library inside, and it then works
from any folder without the checkout's help."""
import os
import pathlib
import subprocess
import sys

import pytest

REPOSITORY = pathlib.Path(__file__).resolve().parents[2]

# Without a build tree to reuse, pip builds the whole library (minutes).
pytestmark = pytest.mark.skipif(
    not os.environ.get("VARNEL_CMAKE_BUILD_DIR") and os.environ.get("VARNEL_TEST_INSTALL") != "1",
    reason="set VARNEL_CMAKE_BUILD_DIR to a Release build tree, or VARNEL_TEST_INSTALL=1 for a full build")

CHECK = """
import numpy as np, varnel
x = np.cos(2 * np.pi * 0.25 * np.arange(512)) + 0.1 * np.random.default_rng(1).standard_normal(512)
w = np.hanning(64)
S = varnel.spectrogram(x, window=w, hop=16, bins=64)
frames = np.lib.stride_tricks.sliding_window_view(x, 64)[::16]
np.testing.assert_allclose(S, np.abs(np.fft.fft(frames * w)[:, :32]) ** 2 / 64, rtol=1e-9, atol=1e-9)
print(varnel.load_library())
"""


def test_pip_install_then_import_anywhere(tmp_path):
    environment = {k: v for k, v in os.environ.items() if k not in ("VARNEL_LIBRARY", "PYTHONPATH", "LD_PRELOAD")}
    env = tmp_path / "env"
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", env], check=True)
    pip = subprocess.run([env / "bin" / "pip", "install", "--no-build-isolation", "--no-index", "--no-cache-dir",
                          REPOSITORY], env=environment, capture_output=True, text=True)
    assert pip.returncode == 0, pip.stdout + pip.stderr
    run = subprocess.run([env / "bin" / "python", "-c", CHECK], cwd=tmp_path, env=environment,
                         capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    assert pathlib.Path(run.stdout.strip()).is_relative_to(env.resolve())
