"""Every fenced code block of README.md runs as written: C blocks compiled
as C99 against include/ and linked with the library this run loads; Python
blocks with this interpreter and the checkout's package; shell blocks with
bash from a scratch folder holding the recordings they name, scripts/ beside
them. The test command's block is the one running this file (scripts/test.sh
says so in VARNEL_TEST_COMMAND); the installation block runs from the
repository with HOME in the scratch folder, and what it installs must then
work from any folder without the checkout's help."""
import os
import pathlib
import re
import subprocess
import sys

import numpy as np
import pytest

from conftest import REPOSITORY

pytestmark = pytest.mark.usefixtures("library")

BLOCKS = re.findall(r"^```(\w+)\n(.*?)^```", (REPOSITORY / "README.md").read_text(), re.M | re.S)
TEST_COMMAND = "bash scripts/test.sh"

# Run by the installed interpreter from outside the checkout: its own library
# (the numbers are test_package_linear's), a tone at a quarter of the rate.
INSTALLED = """
import os, sys, numpy as np, varnel
S = varnel.spectrogram(np.cos(np.pi / 2 * np.arange(512)), window=np.hanning(64), hop=16, bins=64)
assert (S.argmax(axis=1) == 16).all(), S.argmax(axis=1)
assert os.path.realpath(varnel.load_library()).startswith(os.path.realpath(sys.prefix) + os.sep)
"""


def test_readme_has_each_kind_of_block():
    assert {language for language, _ in BLOCKS} == {"c", "python", "sh"}


@pytest.mark.parametrize("block", BLOCKS, ids=["%s:%s" % (lang, body.strip().splitlines()[0][:40])
                                               for lang, body in BLOCKS])
def test_block_runs(block, cli_environment, tmp_path):
    language, body = block
    command, environment, folder = [sys.executable, "-c", body], cli_environment, tmp_path
    if language == "c":
        library = pathlib.Path(cli_environment["VARNEL_LIBRARY"])
        source = tmp_path / "host.c"
        source.write_text(body)
        subprocess.run(["gcc", "-std=c99", "-Wall", "-Werror", "-I", str(REPOSITORY / "include"), str(source),
                        "-L", str(library.parent), "-lvarnel", "-lm", "-Wl,-rpath," + str(library.parent),
                        "-o", str(tmp_path / "host")], check=True)
        command = [str(tmp_path / "host")]
    elif language == "sh":
        if body.strip().startswith(TEST_COMMAND):
            assert os.environ.get("VARNEL_TEST_COMMAND") == TEST_COMMAND.split()[-1], \
                "the test command's block runs only as the test command"
            return
        command = ["bash", "-euo", "pipefail", "-c", body]
        # The scripts and pip choose their own interpreter and library.
        environment = {k: v for k, v in cli_environment.items()
                       if k not in ("LD_PRELOAD", "VARNEL_LIBRARY", "PYTHONPATH")}
        if "pip install" in body:
            # Without a build tree to reuse, pip builds the whole library.
            if not os.environ.get("VARNEL_CMAKE_BUILD_DIR") and os.environ.get("VARNEL_TEST_INSTALL") != "1":
                pytest.skip("set VARNEL_CMAKE_BUILD_DIR to a Release build tree, or VARNEL_TEST_INSTALL=1")
            environment["HOME"], folder = str(tmp_path), REPOSITORY
            command[-1] += "\ncd ~ && ~/varnel-env/bin/python -c '%s'" % INSTALLED
        else:
            (tmp_path / "scripts").symlink_to(REPOSITORY / "scripts")
            rate = 16000
            t = np.arange(2 * rate) / rate
            import soundfile
            soundfile.write(tmp_path / "speech.wav", 0.5 * np.sin(2 * np.pi * (300 + 400 * t) * t), rate)
    done = subprocess.run(command, cwd=folder, env=environment, capture_output=True, text=True, timeout=900)
    assert done.returncode == 0, done.stdout[-2000:] + done.stderr[-2000:]
