"""Finding and loading libvarnel.so: the one-sentence error for a missing
or unloadable library (an installation's layout is test_readme's, through
the README's installation block); varnel.raw binding every export of the
loaded library, one missing symbol leaving the rest usable, and its pointer helper
refusing arrays the exports would run past."""
import os
import subprocess
import sys

import numpy as np
import pytest

from varnel import _library, raw
from conftest import PYTHON_DIR


def test_missing_library_names_where_it_looked(monkeypatch, tmp_path):
    # The variable, when set, is the only place; else every candidate is named.
    missing = tmp_path / "nowhere" / "libvarnel.so"
    monkeypatch.setenv("VARNEL_LIBRARY", str(missing))
    with pytest.raises(_library.LibraryNotFoundError) as caught:
        _library.locate()
    assert caught.value.searched == [missing] and "VARNEL_LIBRARY" in str(caught.value)
    monkeypatch.delenv("VARNEL_LIBRARY")
    monkeypatch.setattr(_library, "_PACKAGE_DIR", tmp_path / "pkg")
    monkeypatch.setattr(_library, "_REPOSITORY", tmp_path / "repo")
    with pytest.raises(_library.LibraryNotFoundError) as caught:
        _library.locate()
    assert caught.value.searched and all(str(path) in str(caught.value) for path in caught.value.searched)
    assert "\n" not in str(caught.value)


@pytest.mark.parametrize("content,phrase", [(None, "LibraryNotFoundError libvarnel.so not found"),
                                            (b"not an ELF file", "LibraryError cannot load ")])
def test_import_does_not_need_the_library(tmp_path, content, phrase):
    # Only the first call into it says that the library is missing or unusable.
    if content is not None:
        (tmp_path / "libvarnel.so").write_bytes(content)
    code = ("import varnel, varnel.raw, varnel.cli\ntry:\n    varnel.raw.ReSTFT\nexcept varnel.LibraryError as e:\n"
            "    print(type(e).__name__, e)")
    environment = dict(os.environ, PYTHONPATH=str(PYTHON_DIR), VARNEL_LIBRARY=str(tmp_path / "libvarnel.so"))
    result = subprocess.run([sys.executable, "-c", code], env=environment, capture_output=True, text=True)
    assert result.stdout.startswith(phrase), result.stderr


def test_loaded_library_has_every_export(library):
    assert raw.missing() == []
    assert all(getattr(raw, name).argtypes == raw.TABLE[name].argtypes for name in raw.TABLE)


def test_missing_symbol_leaves_the_rest_usable(library, monkeypatch):
    table = dict(raw.TABLE)
    table["NoSuchExport"] = raw.Prototype("NoSuchExport", "int32_t", [("int32_t", "n")])
    monkeypatch.setattr(raw, "TABLE", table)
    monkeypatch.setattr(raw, "_bound", {})
    assert not raw.available("NoSuchExport")
    assert "NoSuchExport" in raw.missing()
    with pytest.raises(AttributeError, match="NoSuchExport is not exported by .*libvarnel"):
        raw.NoSuchExport
    assert raw.available("ReSTFT")


@pytest.mark.parametrize("array,offset,error", [
    (np.zeros(8, np.float32), 0, TypeError),       # the exports would read floats as doubles
    ([0.0] * 8, 0, TypeError),
    (np.zeros((4, 4)).T, 0, ValueError),           # read in the wrong order
    (np.zeros(8)[::2], 0, ValueError),             # read past the view
    (np.zeros(8), 9, IndexError),
    (np.zeros(4, np.complex128), 9, IndexError),
])
def test_raw_pointer_refuses_what_the_exports_cannot_read(array, offset, error):
    with pytest.raises(error):
        raw.pointer(array, offset)
    assert raw.pointer(np.zeros(4, np.complex128), 8) is not None  # one past the end, for an empty tail
