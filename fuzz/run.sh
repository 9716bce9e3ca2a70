#!/usr/bin/env bash
# Builds the settings fuzz target with clang and runs it from its seed
# corpus for a bounded time, or a set number of inputs; fails on any
# finding. New inputs go to a scratch directory, so the checked-in corpus
# stays small.
#   fuzz/run.sh [seconds] [inputs]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
log=build-fuzz/settings.log
if ! build-fuzz/fuzz/settings_fuzz -max_total_time="${1:-60}" -runs="${2:--1}" -timeout=10 \
    -max_len=20000 -dict=fuzz/settings.dict -print_final_stats=1 \
    -artifact_prefix=build-fuzz/settings- "$scratch" fuzz/corpus/settings >"$log" 2>&1; then
  tail -n 40 "$log"
  echo "settings: finding, see $log" >&2
  exit 1
fi
echo "settings $(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1)"
