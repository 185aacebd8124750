#!/usr/bin/env bash
# The fuzzing command: builds the libFuzzer programs of tests/fuzz (one per
# export family) with clang, AddressSanitizer and UndefinedBehaviorSanitizer
# in build/fuzz and runs each for the given number of seconds (default 60)
# on a copy of its committed corpus, printing executions and coverage.
# Exits non-zero on any finding: a crash, a sanitizer report, a contract
# violation, a timeout or an out-of-memory; the reproducer is kept in
# build/fuzz/findings/<family>/ (replay it by passing it to the program).
#
#   scripts/fuzz.sh [seconds] [family...]
#   VARNEL_FUZZ_MERGE=1 scripts/fuzz.sh ...   also folds the new inputs into
#                                             tests/fuzz/corpus (minimised)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/deps.sh

seconds="${1:-60}"
shift || true
families=("$@")
if [ "${#families[@]}" -eq 0 ]; then
  families=(conversions stft windows gabor quadratic gabor_sp adaptive reassigned)
fi

varnel_ensure_deps

build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVARNEL_SANITIZE=address \
  -DVARNEL_BUILD_TESTS=ON \
  -DVARNEL_BUILD_FUZZERS=ON
cmake --build "$build" -j"$(varnel_jobs)" --target "${families[@]/#/varnel_fuzz_}"

# Null from a failed allocation is the library's -20001 path, not a crash.
export ASAN_OPTIONS="${ASAN_OPTIONS:-allocator_may_return_null=1:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

failed=()
for family in "${families[@]}"; do
  corpus=tests/fuzz/corpus/$family
  work="$build/corpus/$family"
  findings="$build/findings/$family"
  mkdir -p "$corpus" "$work" "$findings"
  cp -n "$corpus"/* "$work"/ 2>/dev/null || true
  log="$build/$family.log"
  status=0
  "$build/tests/fuzz/varnel_fuzz_$family" "$work" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -max_len=512 \
    -print_final_stats=1 -artifact_prefix="$findings/" >"$log" 2>&1 || status=$?
  echo "== $family (status $status)"
  grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)' "$log" | tail -2 || true
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' "$log" || true
  if [ "$status" -ne 0 ]; then
    grep -E 'contract violation|ERROR: (AddressSanitizer|libFuzzer)|runtime error|SUMMARY' "$log" | head -5 || true
    echo "   reproducer: $(ls -t "$findings" | head -1 | sed "s|^|$findings/|"); full log: $log"
    failed+=("$family")
  elif [ -n "${VARNEL_FUZZ_MERGE:-}" ]; then
    fresh="$build/merged/$family"
    rm -rf "$fresh" && mkdir -p "$fresh"
    "$build/tests/fuzz/varnel_fuzz_$family" -merge=1 "$fresh" "$corpus" "$work" >>"$log" 2>&1
    rm -f "$corpus"/* && cp "$fresh"/* "$corpus"/
    echo "   corpus: $(ls "$corpus" | wc -l) inputs, $(du -sk "$corpus" | cut -f1) KiB"
  fi
done

if [ "${#failed[@]}" -ne 0 ]; then
  echo "scripts/fuzz.sh: findings in ${failed[*]}" >&2
  exit 1
fi
echo "scripts/fuzz.sh: no findings"
