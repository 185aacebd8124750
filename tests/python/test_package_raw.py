"""varnel.raw against include/varnel.h, and its functions called for real.

The header is read here with a parser of this file's own (comments and
preprocessor lines removed, then every VARNEL_API declaration), so the
table in raw.py cannot drift from it: same export names, result types,
parameter types and names, record fields and enum values. The layout
conversions are then called through raw and compared with numpy.fft.
"""
import ctypes
import re

import numpy as np
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
    exports = {}
    for match in re.finditer(r"\bVARNEL_API\b\s+([^;{}()]*?)\s*\b([A-Za-z_]\w*)\s*\(([^)]*)\)\s*;",
                             _code_only(HEADER)):
        params = [p.strip() for p in match.group(3).split(",") if p.strip() not in ("", "void")]
        exports[match.group(2)] = (_normal_type(match.group(1)), [_parameter(p) for p in params])
    return exports


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


def test_header_declares_exports():
    assert len(EXPORTS) >= 27
    assert {"_Hc2Cx", "ReSTFT", "FastDual", "ReDGT", "DGE2d"} <= set(EXPORTS)


def test_table_has_exactly_the_header_exports():
    assert sorted(raw.TABLE) == sorted(EXPORTS)


@pytest.mark.parametrize("name", sorted(EXPORTS))
def test_signature_matches_header(name):
    result, params = EXPORTS[name]
    prototype = raw.TABLE[name]
    assert prototype.result == result
    assert [(t, n) for t, n in prototype.parameters] == params
    assert prototype.restype is EXPECTED_CTYPES[result]
    assert prototype.argtypes == [EXPECTED_CTYPES[t] for t, _ in params]


@pytest.mark.parametrize("record", [raw.WindowSpec, raw.AdaptiveTerm])
def test_records_match_header(record):
    fields = header_struct(record.__name__)
    assert [name for name, _ in record._fields_] == [name for _, name in fields]
    c_types = {"const double *": ctypes.POINTER(ctypes.c_double), "int32_t": ctypes.c_int32,
               "double": ctypes.c_double}
    assert [ctype for _, ctype in record._fields_] == [c_types[t] for t, _ in fields]


def test_enums_match_header():
    statuses = header_enum(r"enum\s+VarnelStatus\s*\{(.*?)\}")
    assert {m.name: int(m) for m in varnel.Status} == statuses
    assert all(getattr(raw, name) == value for name, value in statuses.items())
    modes = header_enum(r"typedef\s+enum\s+ExtensionMode\s*\{(.*?)\}")
    assert {m.name: int(m) for m in raw.ExtensionMode} == modes


def test_loaded_library_has_every_export(library):
    assert raw.missing() == []
    for name in EXPORTS:
        function = getattr(raw, name)
        assert function.argtypes == raw.TABLE[name].argtypes


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


def hc_of(x):
    """Hc layout from numpy's FFT: Re X[k] at k, Im X[k] at n - k."""
    n = len(x)
    spectrum = np.fft.fft(x)
    hc = np.empty(n)
    hc[:n // 2 + 1] = spectrum.real[:n // 2 + 1]
    for k in range(1, (n + 1) // 2):
        hc[n - k] = spectrum.imag[k]
    return hc


SIZES = [1, 2, 5, 8, 9, 64]


@pytest.mark.parametrize("n", SIZES)
def test_hc_expansions_give_numpy_spectrum(library, n):
    x = np.random.default_rng(n).standard_normal(n)
    hc = hc_of(x)
    cx = np.empty(2 * n)
    raw._Hc2Cx(raw.pointer(hc), raw.pointer(cx), n)
    np.testing.assert_allclose(cx[0::2] + 1j * cx[1::2], np.fft.fft(x), rtol=0, atol=1e-12 * (1 + n))
    re, im = np.empty(n), np.empty(n)
    raw._Hc2ReIm(raw.pointer(hc), raw.pointer(re), raw.pointer(im), n)
    np.testing.assert_array_equal(re + 1j * im, cx[0::2] + 1j * cx[1::2])


@pytest.mark.parametrize("n", SIZES)
def test_reductions_keep_the_hermitian_part(library, n):
    rng = np.random.default_rng(100 + n)
    z = rng.standard_normal(n) + 1j * rng.standard_normal(n)
    hermitian = (z + np.conj(z[(-np.arange(n)) % n])) / 2  # spectrum of Re(ifft(z))
    want = hc_of(np.real(np.fft.ifft(hermitian)))
    cx = np.ascontiguousarray(np.column_stack([z.real, z.imag]).ravel())
    hc = np.empty(n)
    raw._Cx2Hc(raw.pointer(cx), raw.pointer(hc), n)
    np.testing.assert_allclose(hc, want, rtol=0, atol=1e-12 * np.max(np.abs(z)) * (1 + n))
    re, im = np.ascontiguousarray(z.real), np.ascontiguousarray(z.imag)
    hc2 = np.empty(n)
    raw._ReIm2Hc(raw.pointer(re), raw.pointer(im), raw.pointer(hc2), n)
    np.testing.assert_array_equal(hc2, hc)


def test_interleaving_round_trip(library):
    z = np.random.default_rng(5).standard_normal(7) + 1j
    cx = np.ascontiguousarray(z).view(np.float64).copy()
    re, im, back = np.empty(7), np.empty(7), np.empty(14)
    raw._Cx2ReIm(raw.pointer(cx), raw.pointer(re), raw.pointer(im), 7)
    np.testing.assert_array_equal(re + 1j * im, z)
    raw._ReIm2Cx(raw.pointer(re), raw.pointer(im), raw.pointer(back), 7)
    np.testing.assert_array_equal(back, cx)
