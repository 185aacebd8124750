"""Finding and loading libvarnel.so.

The package talks to the very shared library that C hosts link, through
ctypes; there is no compiled extension module of its own. The library is
looked for, in this order:

1. the path in the environment variable ``VARNEL_LIBRARY``;
2. ``libvarnel.so`` next to this package (an installed package);
3. ``<repository>/build/release/src/libvarnel.so`` (the release build of a
   source checkout);
4. ``<repository>/build/asan/src/libvarnel.so`` (the test build), only when
   no release build exists: it is instrumented with AddressSanitizer and
   loads only into a process whose sanitizer runtime came first.

Loading happens on first use, so ``import varnel`` (and ``python3 -m varnel
--help``) work on a machine without the library.
"""
import ctypes
import os
import pathlib
import struct
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
    found.append((_REPOSITORY / "build" / "asan" / "src" / "libvarnel.so", "test build"))
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


def _needed_libraries(path):
    """DT_NEEDED entries of an ELF shared object, read from its dynamic
    section without reading the (possibly very large) rest of the file."""
    with open(path, "rb") as f:
        ident = f.read(16)
        if ident[:4] != b"\x7fELF":
            return []
        wide = ident[4] == 2
        end = "<" if ident[5] == 1 else ">"
        if wide:
            f.seek(0x20)
            phoff, = struct.unpack(end + "Q", f.read(8))
            f.seek(0x36)
            phentsize, phnum = struct.unpack(end + "HH", f.read(4))
            ph_format, dyn_format = end + "IIQQQQQQ", end + "qQ"
        else:
            f.seek(0x1C)
            phoff, = struct.unpack(end + "I", f.read(4))
            f.seek(0x2A)
            phentsize, phnum = struct.unpack(end + "HH", f.read(4))
            ph_format, dyn_format = end + "IIIIIIII", end + "iI"
        loads, dynamic = [], None
        for i in range(phnum):
            f.seek(phoff + i * phentsize)
            fields = struct.unpack(ph_format, f.read(struct.calcsize(ph_format)))
            if wide:
                p_type, _, p_offset, p_vaddr, _, p_filesz = fields[:6]
            else:
                p_type, p_offset, p_vaddr, _, p_filesz = fields[:5]
            if p_type == 1:
                loads.append((p_vaddr, p_offset, p_filesz))
            elif p_type == 2:
                dynamic = (p_offset, p_filesz)
        if dynamic is None:
            return []
        f.seek(dynamic[0])
        raw = f.read(dynamic[1])
        size = struct.calcsize(dyn_format)
        needed, strtab = [], None
        for offset in range(0, len(raw) - size + 1, size):
            tag, value = struct.unpack_from(dyn_format, raw, offset)
            if tag == 0:
                break
            if tag == 1:
                needed.append(value)
            elif tag == 5:
                strtab = value
        if strtab is None:
            return []
        for vaddr, offset, filesz in loads:
            if vaddr <= strtab < vaddr + filesz:
                strtab_offset = offset + strtab - vaddr
                break
        else:
            return []
        names = []
        for index in needed:
            f.seek(strtab_offset + index)
            names.append(f.read(256).split(b"\0", 1)[0].decode("ascii", "replace"))
        return names


def _sanitizer_of(path):
    try:
        needed = _needed_libraries(path)
    except (OSError, struct.error, ValueError):
        return None
    for name in needed:
        for runtime in ("asan", "tsan"):
            if name.startswith("lib%s.so" % runtime):
                return runtime
    return None


def _runtime_loaded(runtime):
    try:
        with open("/proc/self/maps", encoding="utf-8", errors="replace") as maps:
            return any(("lib%s.so" % runtime) in line for line in maps)
    except OSError:
        return True  # cannot tell; let the loader decide


_lock = threading.Lock()
_handle = None


def load():
    """The ctypes handle of the library, loaded once per process."""
    global _handle
    with _lock:
        if _handle is not None:
            return _handle
        path = locate()
        runtime = _sanitizer_of(path)
        if runtime is not None and not _runtime_loaded(runtime):
            # An instrumented library loaded behind the interpreter's own
            # allocator aborts the whole process instead of failing dlopen,
            # so this has to be caught before the load.
            preload = "libasan.so and libubsan.so" if runtime == "asan" else "libtsan.so"
            raise LibraryError(
                "%s is a sanitizer build (lib%s); it loads only with its runtime preloaded: set "
                "LD_PRELOAD to the paths of %s (gcc -print-file-name=...), or build the release "
                "library and point $%s at it" % (path, runtime, preload, ENVIRONMENT_VARIABLE))
        try:
            _handle = ctypes.CDLL(str(path))
        except OSError as error:
            raise LibraryError("cannot load %s: %s" % (path, error)) from None
        _handle.varnel_path = str(path)
        return _handle


def loaded_path():
    """Path of the loaded library, or None before the first use."""
    return None if _handle is None else _handle.varnel_path
