"""Finding and loading libvarnel.so: the one-sentence error for a missing
or unloadable library (an installation's layout is test_readme's, through
the README's installation block); varnel.raw binding every export of the
loaded library, and one missing symbol leaving the rest usable."""
import os
import subprocess
import sys

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
