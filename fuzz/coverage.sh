#!/usr/bin/env bash
# Replays a corpus through coverage builds of the fuzz targets and prints
# the line and branch coverage of the program's sources. Needs llvm.
#   fuzz/coverage.sh [corpus root, with one directory per target]
set -euo pipefail
cd "$(dirname "$0")/.."
corpus=$(realpath "${1:-fuzz/corpus}")
cmake --preset fuzz-coverage >/dev/null
cmake --build --preset fuzz-coverage >/dev/null
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
objects=()
for target in decimal settings run; do
  binary=$PWD/build-fuzz-coverage/fuzz/${target}_fuzz
  LLVM_PROFILE_FILE=$scratch/$target.profraw "$binary" -runs=0 "$corpus/$target" >/dev/null 2>&1
  objects+=(-object "$binary")
done
llvm-profdata merge -sparse "$scratch"/*.profraw -o "$scratch/all.profdata"
llvm-cov report -instr-profile="$scratch/all.profdata" "${objects[@]:1}" \
  -ignore-filename-regex='fuzz/|/usr/|generated/' -show-region-summary=false
