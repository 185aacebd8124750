# Shared by the scripts in scripts/ (source it; it runs nothing by itself).
#
# varnel_ensure_deps          installs the Debian packages that building,
#                             testing and benchmarking Varnel need, if missing
# varnel_ensure_packages P... the same for a given list
# varnel_jobs                 parallel job count for builds and ctest
# varnel_configure_build D A  configures build directory D with cmake args A
#                             and builds it
# varnel_build_release        the release library alone, in build/release
#                             (what the demo and the command line load)

VARNEL_PACKAGES=(
  build-essential   # gcc, g++, make, binutils (nm for the export check)
  clang             # second compiler: the test command's clang build
  cmake
  pkg-config        # finds FFTW; the install test consumes varnel.pc
  python3           # export check, benchmark report
  python3-numpy
  python3-scipy
  python3-pytest
  python3-ltfatpy   # canonical dual windows, oracle of the dual-window tests
  python3-matplotlib  # pictures of the command-line demo and analyze
  python3-soundfile   # audio input of the command line (libsndfile)
  python3-tqdm        # progress of long command-line runs
  python3-dask        # varnel.dask: long signals as chunked arrays
  python3-distributed # the batch command's local cluster or remote scheduler
  python3-setuptools  # pip install . (the packaging test)
  python3-wheel
  python3-pip
  python3-venv
  libgtest-dev
  libbenchmark-dev
  libfftw3-dev      # reference FFT of the benchmarks
  util-linux        # lscpu, for the benchmark report
)

varnel_package_installed() {
  [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]
}

varnel_ensure_packages() {
  if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "deps: not a Debian system; make sure these are installed: $*" >&2
    return 0
  fi
  local pkg missing=()
  for pkg in "$@"; do
    varnel_package_installed "$pkg" || missing+=("$pkg")
  done
  if [ "${#missing[@]}" -eq 0 ]; then
    return 0
  fi
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      sudo=(sudo)
    else
      echo "deps: missing packages (${missing[*]}) and not root to install them" >&2
      return 1
    fi
  fi
  echo "deps: installing ${missing[*]}"
  if [ -z "${VARNEL_APT_UPDATED:-}" ]; then
    "${sudo[@]}" apt-get update
    VARNEL_APT_UPDATED=1
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "${missing[@]}"
}

varnel_ensure_deps() {
  varnel_ensure_packages "${VARNEL_PACKAGES[@]}"
}

varnel_jobs() {
  nproc 2>/dev/null || echo 2
}

varnel_configure_build() {
  local dir="$1"
  shift
  cmake -S . -B "$dir" "$@"
  cmake --build "$dir" -j"$(varnel_jobs)"
}

varnel_build_release() {
  varnel_configure_build build/release \
    -DCMAKE_BUILD_TYPE=Release \
    -DVARNEL_SANITIZE= \
    -DVARNEL_BUILD_TESTS=OFF \
    -DVARNEL_BUILD_BENCHMARKS=OFF
}
