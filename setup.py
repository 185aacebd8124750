"""Packaging: ``pip install .`` builds libvarnel.so with CMake and puts it
inside the installed ``varnel`` package, the first place the package looks
after $VARNEL_LIBRARY.

    python3 -m venv --system-site-packages env
    env/bin/pip install --no-build-isolation --no-index .

The library is built in a fresh temporary tree, which takes minutes. To
reuse a build, set VARNEL_CMAKE_BUILD_DIR to a build tree of this checkout
configured for Release without sanitizers, e.g.

    cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVARNEL_BUILD_TESTS=OFF
    VARNEL_CMAKE_BUILD_DIR=build/release env/bin/pip install --no-build-isolation --no-index .

it is brought up to date and its library is copied. CMake builds with
$CMAKE_BUILD_PARALLEL_LEVEL jobs, or one per processor.

The wheel holds a native library but no extension module, so it is tagged
for any Python 3 on one platform.
"""
import os
import pathlib
import shutil
import subprocess
import tempfile

from setuptools import setup
from setuptools.command.build_py import build_py
from setuptools.errors import SetupError
from wheel.bdist_wheel import bdist_wheel

SOURCE = pathlib.Path(__file__).resolve().parent
BUILD_DIR_VARIABLE = "VARNEL_CMAKE_BUILD_DIR"
CONFIGURE = ["-DCMAKE_BUILD_TYPE=Release", "-DVARNEL_BUILD_TESTS=OFF", "-DVARNEL_BUILD_BENCHMARKS=OFF",
             "-DVARNEL_SANITIZE="]


def run(command):
    try:
        subprocess.run(command, check=True)
    except FileNotFoundError:
        raise SetupError("building libvarnel.so needs %s; install it (Debian: cmake)" % command[0]) from None
    except subprocess.CalledProcessError as error:
        raise SetupError("%s failed with status %d" % (" ".join(command), error.returncode)) from None


def cache_entries(tree):
    """name -> value of a CMake build tree's cache."""
    try:
        lines = (tree / "CMakeCache.txt").read_text().splitlines()
    except OSError:
        raise SetupError("$%s names %s, which is not a configured CMake build tree (it has no CMakeCache.txt)"
                         % (BUILD_DIR_VARIABLE, tree)) from None
    entries = {}
    for line in lines:
        name, _, value = line.partition("=")  # NAME:TYPE=VALUE
        if ":" in name and not line.startswith(("#", "//")):
            entries[name.split(":", 1)[0]] = value
    return entries


def check_tree(tree):
    """Refuse a tree whose library would not be the one this checkout's
    Release build gives: another checkout's, a debug or a sanitizer build."""
    cache = cache_entries(tree)
    if pathlib.Path(cache.get("Varnel_SOURCE_DIR", "")).resolve() != SOURCE:
        raise SetupError("$%s names %s, a build tree of %s, not of %s"
                         % (BUILD_DIR_VARIABLE, tree, cache.get("Varnel_SOURCE_DIR", "another project"), SOURCE))
    if cache.get("CMAKE_BUILD_TYPE") != "Release" or cache.get("VARNEL_SANITIZE"):
        raise SetupError("$%s names %s, which is not a Release build without sanitizers (CMAKE_BUILD_TYPE=%r, "
                         "VARNEL_SANITIZE=%r)" % (BUILD_DIR_VARIABLE, tree, cache.get("CMAKE_BUILD_TYPE"),
                                                  cache.get("VARNEL_SANITIZE")))


def build_library(tree, target):
    jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(len(os.sched_getaffinity(0)))
    run(["cmake", "--build", str(tree), "--target", "varnel", "-j", jobs])
    target.parent.mkdir(parents=True, exist_ok=True)
    # libvarnel.so is a link to the versioned file; the package holds a copy.
    shutil.copyfile((tree / "src" / "libvarnel.so").resolve(), target)


class BuildWithLibrary(build_py):
    """The package's files plus libvarnel.so and varnel.h beside them (the
    package binds the exports the header declares)."""

    def run(self):
        super().run()
        shutil.copyfile(SOURCE / "include" / "varnel.h", pathlib.Path(self.build_lib) / "varnel" / "varnel.h")
        target = pathlib.Path(self.build_lib) / "varnel" / "libvarnel.so"
        existing = os.environ.get(BUILD_DIR_VARIABLE)
        if existing:
            tree = pathlib.Path(existing).resolve()
            check_tree(tree)
            build_library(tree, target)
            return
        with tempfile.TemporaryDirectory(prefix="varnel-cmake-") as scratch:
            run(["cmake", "-S", str(SOURCE), "-B", scratch] + CONFIGURE)
            build_library(pathlib.Path(scratch), target)


class PlatformWheel(bdist_wheel):
    def finalize_options(self):
        super().finalize_options()
        self.root_is_pure = False

    def get_tag(self):
        return ("py3", "none", super().get_tag()[2])


setup(cmdclass={"build_py": BuildWithLibrary, "bdist_wheel": PlatformWheel})
