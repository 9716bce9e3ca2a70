#!/usr/bin/env bash
# Counts the log lines lost when runs share a directory: each round starts 8
# processes that each run pwdraw 25 times, then counts the lines of
# password.txt against the 200 runs.
#
#   bench/concurrent.sh [rounds] -- COMMAND...
#   e.g. bench/concurrent.sh 12 -- /usr/lib/wine/wine64 build-windows/pwdraw.exe
set -euo pipefail
rounds=${1:-12}
shift 2
command=()
for word in "$@"; do  # the runs work in another directory
  if [ -e "$word" ]; then command+=("$(realpath "$word")"); else command+=("$word"); fi
done
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
lost=0
for round in $(seq "$rounds"); do
  rm -f "$dir/password.txt"
  for _ in 1 2 3 4 5 6 7 8; do
    (cd "$dir" && for _ in $(seq 25); do "${command[@]}" 12 1 1 >/dev/null; done) &
  done
  wait
  lines=$(grep -c $'\r$' "$dir/password.txt")
  echo "round $round: $lines lines of 200"
  lost=$((lost + 200 - lines))
done
echo "lost $lost of $((rounds * 200)) lines"
