#!/bin/sh
# Whether PROGRAM is hardened: log_password, which formats into a stack
# array, checks a canary; (ELF) format_settings calls the checked snprintf;
# an ELF file is of TYPE, bound at load if DYN; a PE one has high-entropy
# ASLR and NX.
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
  "$1" -d "$3" | sed -n '/_ZN6pwdraw15format_settings.*>:$/,/^$/p' | grep -q __snprintf_chk ||
    fail "format_settings calls no checked snprintf"
  "$2" -h "$3" | grep -q "Type: *$4 " || fail "not of type $4"
  [ "$4" = EXEC ] || "$2" -d "$3" | grep -q BIND_NOW || fail "not bound at load"
fi
