#!/usr/bin/env bash
# Release build with the benchmarks in build/bench, then bench/report.py,
# which runs them and rewrites the measured sections of docs/benchmarks.md.
# Extra arguments go to report.py (e.g. --quick, --section fft).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/deps.sh

varnel_ensure_deps

build=build/bench
varnel_configure_build "$build" \
  -DCMAKE_BUILD_TYPE=Release \
  -DVARNEL_SANITIZE= \
  -DVARNEL_BUILD_TESTS=OFF \
  -DVARNEL_BUILD_BENCHMARKS=ON

/usr/bin/python3 bench/report.py --build-dir "$build" "$@"
