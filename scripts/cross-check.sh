#!/usr/bin/env bash
# Builds pwdraw for four other processors with Debian's cross compilers and
# runs its unit tests and the whole fault matrix under qemu-user: i386 and
# armhf (32-bit), aarch64, and s390x (big-endian). The output of a workflow
# is shown only when it fails; one line per target says how it went.
set -uo pipefail
cd "$(dirname "$0")/.."
failed=0
for target in i386 armhf aarch64 s390x; do
  start=$SECONDS
  if output=$(cmake --workflow --preset "$target" 2>&1); then
    result=$(grep -o '[0-9]*% tests passed.*' <<<"$output")
  else
    echo "$output"
    result=FAILED
    failed=1
  fi
  echo "$target: $result ($((SECONDS - start)) s)"
done
exit $failed
