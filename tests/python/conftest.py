"""Shared setup of the Python tests: ``import varnel`` from <repository>/python
with whatever library it finds ($VARNEL_LIBRARY first; scripts/test.sh points
that at the sanitizer build); the ``library`` fixture skips a test without one."""
import os
import pathlib
import sys

import pytest

REPOSITORY = pathlib.Path(__file__).resolve().parents[2]
PYTHON_DIR = REPOSITORY / "python"
if str(PYTHON_DIR) not in sys.path:
    sys.path.insert(0, str(PYTHON_DIR))

import varnel  # noqa: E402  (needs the path above)


@pytest.fixture(scope="session")
def library():
    """Path of the loaded library; skips the test when there is none."""
    try:
        return varnel.load_library()
    except varnel.LibraryError as error:
        pytest.skip(str(error))


@pytest.fixture(scope="session")
def cli_environment(library):
    """This process's environment (sanitizer preloads included) for a
    subprocess that imports the package and loads the same library."""
    environment = dict(os.environ)
    environment["VARNEL_LIBRARY"] = library
    parts = [str(PYTHON_DIR)] + [p for p in environment.get("PYTHONPATH", "").split(os.pathsep) if p]
    environment["PYTHONPATH"] = os.pathsep.join(parts)
    environment.setdefault("MPLBACKEND", "Agg")
    environment.pop("VARNEL_DEBUG", None)
    return environment
