#!/usr/bin/env bash
# The test command: installs what is missing (Debian, as root), builds the
# library, the tests and the benchmarks with AddressSanitizer and
# UndefinedBehaviorSanitizer in build/asan, and runs every test: the C++
# suites, the ABI and install checks, a smoke run of each benchmark program
# and, when present, the Python tests in tests/python. Then builds the
# library with clang in build/clang, warnings as errors, and runs the FFT
# test program there.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/deps.sh

varnel_ensure_deps

build=build/asan
varnel_configure_build "$build" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVARNEL_SANITIZE=address \
  -DVARNEL_BUILD_TESTS=ON \
  -DVARNEL_BUILD_BENCHMARKS=ON

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
ctest --test-dir "$build" --output-on-failure --no-tests=error -j"$(varnel_jobs)"

if [ -d tests/python ]; then
  # The release library is what the demo, the command-line launcher and the
  # packaging test build on; building it here keeps those tests quick.
  varnel_build_release
  # The Python tests load the library of this build. It is instrumented, so
  # the sanitizer runtimes must be in the process before it; the
  # interpreter's own allocations are not ours to leak-check.
  preload="$(gcc -print-file-name=libasan.so) $(gcc -print-file-name=libubsan.so)"
  status=0
  VARNEL_LIBRARY="$PWD/$build/src/libvarnel.so" \
    LD_PRELOAD="$preload" \
    ASAN_OPTIONS="detect_leaks=0" \
    VARNEL_TEST_COMMAND=scripts/test.sh \
    VARNEL_CMAKE_BUILD_DIR="$PWD/build/release" \
    /usr/bin/python3 -m pytest tests/python -q || status=$?
  if [ "$status" -ne 0 ] && [ "$status" -ne 5 ]; then  # 5: no tests collected
    exit "$status"
  fi
fi
# Clang: the library and one test program, the FFT suite, which runs the
# vector kernels and the transforms built on them.
clang_build=build/clang
cmake -S . -B "$clang_build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS=-Werror -DCMAKE_BUILD_TYPE=Release -DVARNEL_BUILD_TESTS=ON
cmake --build "$clang_build" -j"$(varnel_jobs)" --target varnel_fft_tests
"$clang_build/tests/varnel_fft_tests" --gtest_brief=1

echo "scripts/test.sh: all tests passed"
