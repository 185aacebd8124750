#!/usr/bin/env bash
# The main job: installs what is missing (Debian, as root), builds the
# release library in build/release and runs the command-line demo on the
# built-in test signal (a linear chirp, a Gaussian tone burst and a
# stationary tone), which writes one PNG per representation and
# overview.png to the folder given (default: out/demo in the repository).
#
#   bash scripts/demo.sh [OUTPUT_DIR]
set -euo pipefail
# A folder given on the command line is taken relative to where the
# script was started, before it moves to the repository.
repo="$(dirname "$(realpath "$0")")/.."
out="$(realpath -m "${1:-$repo/out/demo}")"
cd "$repo"
source scripts/lib/deps.sh

varnel_ensure_deps
varnel_build_release

VARNEL_LIBRARY="$PWD/build/release/src/libvarnel.so" \
  PYTHONPATH="$PWD/python${PYTHONPATH:+:$PYTHONPATH}" \
  /usr/bin/python3 -m varnel demo --out "$out"
