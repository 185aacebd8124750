"""varnel.h, the one list of the library's exports, records and status codes.

The package reads the C header rather than keeping copies of it: the
binding of every export and record (``raw``) and the status codes (``errors``) come
from the declarations as the C compiler sees them. The header is the copy
installed beside these modules (pip and ``cmake --install`` put it there),
or the repository's ``include/varnel.h`` when the package runs from a
checkout.
"""
import functools
import pathlib
import re

_HERE = pathlib.Path(__file__).resolve().parent
CANDIDATES = (_HERE / "varnel.h", _HERE.parents[1] / "include" / "varnel.h")


@functools.lru_cache(maxsize=None)
def code():
    """The header without comments and preprocessor lines."""
    for path in CANDIDATES:
        if path.is_file():
            text = path.read_text(encoding="utf-8")
            break
    else:
        raise ImportError("varnel.h is neither installed beside the varnel package nor in a checkout around it "
                          "(looked for %s)" % ", ".join(str(p) for p in CANDIDATES))
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    text = re.sub(r"//[^\n]*", " ", text)
    return re.sub(r"^[ \t]*#(?:[^\n]*\\\n)*[^\n]*", " ", text, flags=re.M)


def declarations():
    """(result, name, parameter text) of every VARNEL_API function, in order."""
    return [(" ".join(m.group(1).split()), m.group(2), m.group(3)) for m in
            re.finditer(r"\bVARNEL_API\s+([^;{}()]*?)\s*\b([A-Za-z_]\w*)\s*\(([^)]*)\)\s*;", code())]


def struct_fields(name):
    """The field declarations of ``typedef struct name {...} name;``, in order."""
    body = re.search(r"typedef\s+struct\s+%s\s*\{(.*?)\}\s*%s\s*;" % (name, name), code(), re.S)
    if body is None:
        raise ImportError("varnel.h has no struct %s" % name)
    return [field for field in body.group(1).split(";") if field.strip()]


def enum_values(name):
    """name -> value of the constants of the enum ``name``."""
    body = re.search(r"enum\s+%s\s*\{(.*?)\}" % name, code(), re.S)
    if body is None:
        raise ImportError("varnel.h has no enum %s" % name)
    return {constant: int(value) for constant, value in re.findall(r"(\w+)\s*=\s*(-?\d+)", body.group(1))}
