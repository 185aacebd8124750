"""varnel.raw against include/varnel.h: every export bound with the
ctypes the header's C types mean, and the hand-written records laid out as
the header's structs."""
import ctypes
import re

import pytest

from varnel import _header, raw


def _normal_type(text):
    text = " ".join(text.replace("*", " * ").split())
    return re.sub(r"\* \*", "**", text)


def _parameter(text):
    name = re.search(r"([A-Za-z_]\w*)\s*$", text).group(1)
    return _normal_type(text[:text.rindex(name)]), name


def header_struct(name):
    body = re.search(r"typedef\s+struct\s+%s\s*\{(.*?)\}\s*%s\s*;" % (name, name), _header.code(), re.S)
    return [_parameter(field) for field in body.group(1).split(";") if field.strip()]


# The C types of the header as ctypes sees them, independent of raw.CTYPES.
EXPECTED_CTYPES = {
    "void": None, "int32_t": ctypes.c_int32, "double": ctypes.c_double,
    "double *": ctypes.POINTER(ctypes.c_double), "const double *": ctypes.POINTER(ctypes.c_double),
    "int32_t *": ctypes.POINTER(ctypes.c_int32),
    "const WindowSpec *": ctypes.POINTER(raw.WindowSpec),
    "const AdaptiveTerm *": ctypes.POINTER(raw.AdaptiveTerm), "AdaptiveTerm *": ctypes.POINTER(raw.AdaptiveTerm),
}


@pytest.mark.parametrize("name", sorted(raw.TABLE))
def test_signature_has_the_ctypes_of_the_header_types(name):
    prototype = raw.TABLE[name]
    assert prototype.restype is EXPECTED_CTYPES[prototype.result]
    assert prototype.argtypes == [EXPECTED_CTYPES[_normal_type(t)] for t, _ in prototype.parameters]


@pytest.mark.parametrize("record", [raw.WindowSpec, raw.AdaptiveTerm])
def test_records_match_header(record):
    fields = header_struct(record.__name__)
    assert [(name, ctype) for name, ctype in record._fields_] == [(n, EXPECTED_CTYPES[t]) for t, n in fields]


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
