#!/usr/bin/env bash
# ThreadSanitizer build in build/tsan, running the concurrency tests (their
# names contain "Concurrency" or "Thread"). Extra arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/deps.sh

varnel_ensure_deps

build=build/tsan
varnel_configure_build "$build" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVARNEL_SANITIZE=thread \
  -DVARNEL_BUILD_TESTS=ON \
  -DVARNEL_BUILD_BENCHMARKS=OFF

export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}"
ctest --test-dir "$build" -R 'Concurren|Thread' --output-on-failure --no-tests=error \
  -j"$(varnel_jobs)" "$@"
echo "scripts/tsan.sh: concurrency tests passed under ThreadSanitizer"
