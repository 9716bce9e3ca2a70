#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each from its seed corpus for
# a bounded time, or a set number of inputs; fails on any finding. New
# inputs go to a scratch directory, so the checked-in corpus stays small.
#   fuzz/run.sh [seconds per target] [inputs per target]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD  # absolute: the whole-run target works in a directory of its own
seconds=${1:-60}
runs=${2:--1}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for target in decimal settings run; do
  options=(-max_total_time="$seconds" -runs="$runs" -timeout=10 -print_final_stats=1
           -artifact_prefix="$root/build-fuzz/$target-")
  [ "$target" = settings ] && options+=(-max_len=20000 -dict="$root/fuzz/settings.dict")
  mkdir "$scratch/$target"
  log=build-fuzz/$target.log
  corpora=("$scratch/$target" "$root/fuzz/corpus/$target")
  if ! build-fuzz/fuzz/"$target"_fuzz "${options[@]}" "${corpora[@]}" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "$target: finding, see $log" >&2
    exit 1
  fi
  printf '%-9s %s\n' "$target" "$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1)"
done
