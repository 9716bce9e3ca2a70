#!/usr/bin/env bash
# Builds the settings fuzz target with clang and runs it from its seed corpus
# for a bounded time (default 60 s); fails on any finding. New inputs go to a
# scratch directory, so that the checked-in corpus stays small.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset fuzz >/dev/null && cmake --build --preset fuzz >/dev/null
scratch=$(mktemp -d) log=build-fuzz/settings.log
trap 'rm -rf "$scratch"' EXIT
build-fuzz/fuzz/settings_fuzz -max_total_time="${1:-60}" -max_len=20000 -timeout=10 \
  -artifact_prefix=build-fuzz/settings- "$scratch" fuzz/corpus/settings >"$log" 2>&1 ||
  { tail -n 40 "$log"; exit 1; }
tail -n 1 "$log"
