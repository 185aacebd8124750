"""Every fenced code block of README.md runs as written.

C blocks are compiled as C99 against include/ and linked with the library
this run loads; Python blocks run with this interpreter and the package of
the checkout; shell blocks run with bash from a scratch folder that holds
the recordings they name, with the repository's scripts/ beside them. The
block that is the test command itself is the one running this file:
scripts/test.sh says so in VARNEL_TEST_COMMAND; the installation block is
test_install.py's.
"""
import os
import pathlib
import re
import subprocess
import sys

import numpy as np
import pytest

from conftest import REPOSITORY

pytestmark = pytest.mark.usefixtures("library")

BLOCKS = [block for block in re.findall(r"^```(\w+)\n(.*?)^```", (REPOSITORY / "README.md").read_text(), re.M | re.S)
          if "pip install" not in block[1]]
TEST_COMMAND = "bash scripts/test.sh"


def block_id(block):
    language, body = block
    return "%s:%s" % (language, body.strip().splitlines()[0][:40])


def test_readme_has_each_kind_of_block():
    assert {language for language, _ in BLOCKS} == {"c", "python", "sh"}


@pytest.mark.parametrize("block", BLOCKS, ids=[block_id(b) for b in BLOCKS])
def test_block_runs(block, cli_environment, tmp_path):
    language, body = block
    if language == "c":
        library = pathlib.Path(cli_environment["VARNEL_LIBRARY"])
        source = tmp_path / "host.c"
        source.write_text(body)
        subprocess.run(["gcc", "-std=c99", "-Wall", "-Werror", "-I", str(REPOSITORY / "include"), str(source),
                        "-L", str(library.parent), "-lvarnel", "-lm", "-Wl,-rpath," + str(library.parent),
                        "-o", str(tmp_path / "host")], check=True)
        command = [str(tmp_path / "host")]
        environment = cli_environment
    elif language == "python":
        command = [sys.executable, "-c", body]
        environment = cli_environment
    elif body.strip().startswith(TEST_COMMAND):
        assert os.environ.get("VARNEL_TEST_COMMAND") == TEST_COMMAND.split()[-1], \
            "the test command's block runs only as the test command"
        return
    else:
        (tmp_path / "scripts").symlink_to(REPOSITORY / "scripts")
        rate = 16000
        t = np.arange(2 * rate) / rate
        import soundfile
        soundfile.write(tmp_path / "speech.wav", 0.5 * np.sin(2 * np.pi * (300 + 400 * t) * t), rate)
        command = ["bash", "-euo", "pipefail", "-c", body]
        # The scripts choose their own interpreter and library.
        environment = {k: v for k, v in cli_environment.items()
                       if k not in ("LD_PRELOAD", "VARNEL_LIBRARY", "PYTHONPATH")}
    done = subprocess.run(command, cwd=tmp_path, env=environment, capture_output=True, text=True, timeout=900)
    assert done.returncode == 0, done.stdout[-2000:] + done.stderr[-2000:]
