"""Finding and loading libvarnel.so: lookup order, the one-sentence error
for a missing or unloadable library (an installation's layout is
test_readme's, through the README's installation block); varnel.raw
binding every export of the loaded library, and one missing symbol leaving
the rest usable."""
import os
import subprocess
import sys

import pytest

from varnel import _library, raw
from conftest import PYTHON_DIR, REPOSITORY


def test_lookup_order_without_the_variable(monkeypatch):
    monkeypatch.delenv("VARNEL_LIBRARY", raising=False)
    paths = [str(path) for path, _ in _library.candidates()]
    package = str(PYTHON_DIR / "varnel")
    assert paths == [os.path.join(package, "libvarnel.so"), os.path.join(package, "libvarnel.so.0"),
                     str(REPOSITORY / "build/release/src/libvarnel.so")]


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
    assert all(str(path) in str(caught.value) for path in caught.value.searched) and "\n" not in str(caught.value)


def run(code, drop=(), cwd=None, **environment):
    env = {k: v for k, v in {**os.environ, "PYTHONPATH": str(PYTHON_DIR), **environment}.items() if k not in drop}
    return subprocess.run([sys.executable, "-c", code], env=env, cwd=cwd, capture_output=True, text=True, timeout=120)


@pytest.mark.parametrize("content,phrase", [(None, "LibraryNotFoundError libvarnel.so not found"),
                                            (b"not an ELF file", "LibraryError cannot load ")])
def test_import_does_not_need_the_library(tmp_path, content, phrase):
    # Only the first call into it says that the library is missing or unusable.
    if content is not None:
        (tmp_path / "libvarnel.so").write_bytes(content)
    result = run("import varnel, varnel.raw, varnel.cli\ntry:\n    varnel.raw.ReSTFT\n"
                 "except varnel.LibraryError as e:\n    print(type(e).__name__, e)",
                 VARNEL_LIBRARY=str(tmp_path / "libvarnel.so"))
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
