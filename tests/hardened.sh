#!/bin/sh
# Whether the program is built hardened, as distributions build their own:
# log_password, which formats its line into an array on its stack, checks a
# canary and, on ELF systems, calls the checked snprintf; an ELF program is
# of TYPE (DYN: position-independent) and, if so, binds every symbol at
# load; a Windows one (PE) loads anywhere, with high entropy, and runs no data.
#   hardened.sh OBJDUMP READELF PROGRAM TYPE
set -eu
fail() { echo "hardened: $*" >&2; exit 1; }
code=$("$1" -d "$3" | sed -n '/_ZN6pwdraw12log_password.*>:$/,/^$/p')
echo "$code" | grep -q __stack_chk_fail || fail "log_password checks no canary"
if [ "$4" = PE ]; then
  for flag in HIGH_ENTROPY_VA DYNAMIC_BASE NX_COMPAT; do
    "$1" -p "$3" | grep -qw $flag || fail "no $flag"
  done
else
  echo "$code" | grep -q __snprintf_chk || fail "log_password calls no checked snprintf"
  "$2" -h "$3" | grep -q "Type: *$4 " || fail "not of type $4"
  [ "$4" = EXEC ] || "$2" -d "$3" | grep -q BIND_NOW || fail "not bound at load"
fi
