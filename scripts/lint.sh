#!/usr/bin/env bash
# Checks the formatting of every C++ file and runs clang-tidy, warnings as
# errors, on the program's sources, with the compile commands of the
# default preset.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
[ -f build/compile_commands.json ] || cmake --preset default >/dev/null
cmake --build --preset default --target pwdraw_core >/dev/null  # the generated header
# The Windows files need the Windows headers; the windows preset compiles them.
git ls-files 'src/*.cpp' | grep -v -e -win32 -e /win32/ | xargs clang-tidy -p build --quiet 2>&1 |
  { grep -v '^[0-9]* warnings\? generated\.$' || true; }
