#!/usr/bin/env bash
# Is a change to the FFT faster? The internal library of a base revision
# and that of the working tree, each built for Release into a module of its
# own, are timed against each other and against FFTW in one process, round
# by round (bench/fft/ab_compare.cpp says how, and why two benchmark runs
# on a shared virtual machine cannot tell a few per cent apart).
#
#   bash scripts/fft_ab.sh [--base REV] [--rounds R] [re|cx] [n ...]
#
# Defaults: HEAD, 101 rounds, both kinds, the powers of two from 2^10 to
# 2^20. Pin it to one core (taskset -c 1 bash scripts/fft_ab.sh ...) and
# leave the machine otherwise idle. Builds go to build/ab.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/deps.sh

base=HEAD rounds=101 kinds=(re cx) sizes=()
while (($#)); do
  case "$1" in
    --base) base="$2"; shift 2 ;;
    --rounds) rounds="$2"; shift 2 ;;
    re|cx) kinds=("$1"); shift ;;
    *) sizes+=("$1"); shift ;;
  esac
done
((${#sizes[@]})) || for p in $(seq 10 20); do sizes+=($((1 << p))); done

varnel_ensure_deps
out=build/ab
commit=$(git rev-parse --verify "$base^{commit}")
# One tree per base commit, kept, so that a second run rebuilds nothing.
if [[ ! -d "$out/$commit-src" ]]; then
  mkdir -p "$out/$commit-src.part"
  git archive "$commit" | tar -x -C "$out/$commit-src.part"
  mv "$out/$commit-src.part" "$out/$commit-src"
fi

# build_probe SOURCE_TREE NAME: the tree's internal library and the probe
# compiled against its headers, linked so that the module keeps its own copy.
build_probe() {
  cmake -S "$1" -B "$out/$2" -DCMAKE_BUILD_TYPE=Release -DVARNEL_SANITIZE= \
    -DVARNEL_BUILD_TESTS=OFF -DVARNEL_BUILD_BENCHMARKS=OFF >/dev/null
  cmake --build "$out/$2" -j"$(varnel_jobs)" --target varnel_internal >/dev/null
  g++ -O2 -std=c++20 -shared -fPIC -I"$1/src" -I"$1/include" bench/fft/ab_probe.cpp \
    "$out/$2/src/libvarnel_internal.a" -Wl,--exclude-libs,ALL -Wl,-Bsymbolic -o "$out/$2.so"
}
build_probe "$out/$commit-src" "$commit"
build_probe . work
g++ -O2 -std=c++20 -Ibench -DVARNEL_BENCH_BUILD_TYPE='"Release"' bench/fft/ab_compare.cpp \
  $(pkg-config --cflags --libs fftw3) -lbenchmark -ldl -o "$out/ab_compare"

echo "A = $base, B = the working tree; ratios are medians over $rounds rounds [quartiles]"
for kind in "${kinds[@]}"; do
  "$out/ab_compare" "$out/$commit.so" "$out/work.so" "$kind" "$rounds" "${sizes[@]}"
done
