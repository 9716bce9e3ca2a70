#!/usr/bin/env bash
# Replays a corpus through a coverage build of the settings fuzz target and
# prints the line and branch coverage of the program's sources. Needs llvm.
#   fuzz/coverage.sh [corpus directory]
set -euo pipefail
cd "$(dirname "$0")/.."
corpus=$(realpath "${1:-fuzz/corpus/settings}")
cmake --preset fuzz-coverage >/dev/null
cmake --build --preset fuzz-coverage >/dev/null
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
binary=build-fuzz-coverage/fuzz/settings_fuzz
LLVM_PROFILE_FILE=$scratch/settings.profraw "$binary" -runs=0 "$corpus" >/dev/null 2>&1
llvm-profdata merge -sparse "$scratch/settings.profraw" -o "$scratch/all.profdata"
llvm-cov report -instr-profile="$scratch/all.profdata" "$binary" \
  -ignore-filename-regex='fuzz/|/usr/|generated/' -show-region-summary=false
