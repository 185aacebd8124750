"""varnel.raw against include/varnel.h, read with a parser of this file's
own: the same exports, result and parameter types and names, record fields
and enum values."""
import ctypes
import re

import pytest

import varnel
from varnel import raw
from conftest import REPOSITORY

HEADER = (REPOSITORY / "include" / "varnel.h").read_text(encoding="utf-8")


def _code_only(text):
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    text = re.sub(r"//[^\n]*", " ", text)
    return re.sub(r"^[ \t]*#(?:[^\n]*\\\n)*[^\n]*", " ", text, flags=re.M)


def _normal_type(text):
    text = " ".join(text.replace("*", " * ").split())
    return re.sub(r"\* \*", "**", text)


def _parameter(text):
    name = re.search(r"([A-Za-z_]\w*)\s*$", text).group(1)
    return _normal_type(text[:text.rindex(name)]), name


def header_exports():
    return {m.group(2): (_normal_type(m.group(1)), [_parameter(p) for p in m.group(3).split(",")
                                                    if p.strip() not in ("", "void")])
            for m in re.finditer(r"\bVARNEL_API\b\s+([^;{}()]*?)\s*\b([A-Za-z_]\w*)\s*\(([^)]*)\)\s*;",
                                 _code_only(HEADER))}


def header_struct(name):
    body = re.search(r"typedef\s+struct\s+%s\s*\{(.*?)\}\s*%s\s*;" % (name, name), _code_only(HEADER), re.S)
    return [_parameter(field) for field in body.group(1).split(";") if field.strip()]


def header_enum(pattern):
    body = re.search(pattern, _code_only(HEADER), re.S).group(1)
    return {name: int(value) for name, value in re.findall(r"(\w+)\s*=\s*(-?\d+)", body)}


# The C types of the header as ctypes sees them, independent of raw.CTYPES.
EXPECTED_CTYPES = {
    "void": None, "int32_t": ctypes.c_int32, "double": ctypes.c_double,
    "double *": ctypes.POINTER(ctypes.c_double), "const double *": ctypes.POINTER(ctypes.c_double),
    "int32_t *": ctypes.POINTER(ctypes.c_int32),
    "const WindowSpec *": ctypes.POINTER(raw.WindowSpec),
    "const AdaptiveTerm *": ctypes.POINTER(raw.AdaptiveTerm), "AdaptiveTerm *": ctypes.POINTER(raw.AdaptiveTerm),
}

EXPORTS = header_exports()


def test_table_has_exactly_the_header_exports():
    assert len(EXPORTS) >= 27 and {"_Hc2Cx", "ReSTFT", "FastDual", "ReDGT", "DGE2d"} <= set(EXPORTS)
    assert sorted(raw.TABLE) == sorted(EXPORTS)


@pytest.mark.parametrize("name", sorted(EXPORTS))
def test_signature_matches_header(name):
    (result, params), prototype = EXPORTS[name], raw.TABLE[name]
    assert (prototype.result, [(t, n) for t, n in prototype.parameters]) == (result, params)
    assert prototype.restype is EXPECTED_CTYPES[result]
    assert prototype.argtypes == [EXPECTED_CTYPES[t] for t, _ in params]


@pytest.mark.parametrize("record", [raw.WindowSpec, raw.AdaptiveTerm])
def test_records_match_header(record):
    fields = header_struct(record.__name__)
    assert [(name, ctype) for name, ctype in record._fields_] == [(n, EXPECTED_CTYPES[t]) for t, n in fields]


def test_enums_match_header():
    statuses = header_enum(r"enum\s+VarnelStatus\s*\{(.*?)\}")
    assert {m.name: int(m) for m in varnel.Status} == statuses
    assert all(getattr(raw, name) == value for name, value in statuses.items())
    modes = header_enum(r"typedef\s+enum\s+ExtensionMode\s*\{(.*?)\}")
    assert {m.name: int(m) for m in raw.ExtensionMode} == modes


def test_loaded_library_has_every_export(library):
    assert raw.missing() == []
    assert all(getattr(raw, name).argtypes == raw.TABLE[name].argtypes for name in EXPORTS)


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
