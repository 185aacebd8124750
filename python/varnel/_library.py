"""Finding and loading libvarnel.so.

The package talks to the very shared library that C hosts link, through
ctypes; there is no compiled extension module of its own. The library is
looked for, in this order:

1. the path in the environment variable ``VARNEL_LIBRARY``;
2. ``libvarnel.so`` next to this package (an installed package);
3. ``<repository>/build/release/src/libvarnel.so`` (the release build of a
   source checkout).

A sanitizer build (the test command's) is used only through the variable,
with its runtime preloaded as the test command does.

Loading happens on first use, so ``import varnel`` (and ``python3 -m varnel
--help``) work on a machine without the library.
"""
import ctypes
import os
import pathlib
import threading

ENVIRONMENT_VARIABLE = "VARNEL_LIBRARY"
LIBRARY_NAMES = ("libvarnel.so", "libvarnel.so.0")

_PACKAGE_DIR = pathlib.Path(__file__).resolve().parent
_REPOSITORY = _PACKAGE_DIR.parent.parent


class LibraryError(OSError):
    """libvarnel.so could not be found or loaded; the message says why."""


class LibraryNotFoundError(LibraryError):
    """No libvarnel.so at any of the places the package looks."""

    def __init__(self, message, searched):
        super().__init__(message)
        self.searched = list(searched)


def candidates():
    """(path, origin) pairs in lookup order, whether they exist or not."""
    found = []
    override = os.environ.get(ENVIRONMENT_VARIABLE)
    if override:
        # An explicit choice is final: falling back to another build would
        # hide a mistake in the variable.
        return [(pathlib.Path(override), "$" + ENVIRONMENT_VARIABLE)]
    for name in LIBRARY_NAMES:
        found.append((_PACKAGE_DIR / name, "next to the package"))
    found.append((_REPOSITORY / "build" / "release" / "src" / "libvarnel.so", "release build"))
    return found


def locate():
    """Path of the library that would be loaded; LibraryNotFoundError if none."""
    searched = candidates()
    for path, _ in searched:
        if path.is_file():
            return path
    places = "; ".join("%s (%s)" % (path, origin) for path, origin in searched)
    if os.environ.get(ENVIRONMENT_VARIABLE):
        message = "libvarnel.so not found: $%s names %s, which is not a file" % (
            ENVIRONMENT_VARIABLE, searched[0][0])
    else:
        message = ("libvarnel.so not found; looked in: %s. Build it (bash scripts/demo.sh builds "
                   "build/release) or set $%s to its path" % (places, ENVIRONMENT_VARIABLE))
    raise LibraryNotFoundError(message, [p for p, _ in searched])


_lock = threading.Lock()
_handle = None


def load():
    """The ctypes handle of the library, loaded once per process."""
    global _handle
    with _lock:
        if _handle is not None:
            return _handle
        path = locate()
        try:
            _handle = ctypes.CDLL(str(path))
        except OSError as error:
            raise LibraryError("cannot load %s: %s" % (path, error)) from None
        _handle.varnel_path = str(path)
        return _handle


def loaded_path():
    """Path of the loaded library, or None before the first use."""
    return None if _handle is None else _handle.varnel_path
