"""The README's installation block, run as written (with HOME in a scratch
folder): pip builds the package with its library inside, and it then
works from any folder without the checkout's help."""
import os
import pathlib
import re
import subprocess

import pytest

from conftest import REPOSITORY

# Without a build tree to reuse, pip builds the whole library.
pytestmark = pytest.mark.skipif(
    not os.environ.get("VARNEL_CMAKE_BUILD_DIR") and os.environ.get("VARNEL_TEST_INSTALL") != "1",
    reason="set VARNEL_CMAKE_BUILD_DIR to a Release build tree, or VARNEL_TEST_INSTALL=1 for a full build")

INSTALL = next(body for body in re.findall(r"^```sh\n(.*?)^```", (REPOSITORY / "README.md").read_text(), re.M | re.S)
               if "pip install" in body)

CHECK = """
import numpy as np, varnel
x = np.cos(2 * np.pi * 0.25 * np.arange(512)) + 0.1 * np.random.default_rng(1).standard_normal(512)
w = np.hanning(64)
S = varnel.spectrogram(x, window=w, hop=16, bins=64)
frames = np.lib.stride_tricks.sliding_window_view(x, 64)[::16]
np.testing.assert_allclose(S, np.abs(np.fft.fft(frames * w)[:, :32]) ** 2 / 64, rtol=1e-9, atol=1e-9)
print(varnel.load_library())
"""


def test_readme_install_then_import_anywhere(tmp_path):
    environment = {k: v for k, v in os.environ.items() if k not in ("VARNEL_LIBRARY", "PYTHONPATH", "LD_PRELOAD")}
    environment["HOME"] = str(tmp_path)
    install = subprocess.run(["bash", "-euo", "pipefail", "-c", INSTALL], cwd=REPOSITORY, env=environment,
                             capture_output=True, text=True)
    assert install.returncode == 0, install.stdout[-3000:] + install.stderr[-3000:]
    env = tmp_path / "varnel-env"
    run = subprocess.run([env / "bin" / "python", "-c", CHECK], cwd=tmp_path, env=environment,
                         capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    assert pathlib.Path(run.stdout.strip()).is_relative_to(env.resolve())
