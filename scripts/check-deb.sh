#!/usr/bin/env bash
# Builds the Debian package and checks it: its control fields, its exact
# file list, lintian, its copyright and changelog, its manual page, one run
# of the binary unpacked from it, and that a second build gives the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
# Time stamps in the package come from the last commit rather than the clock.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH
# CPack takes the modes of the .deb's own members from the files it wrote.
umask 022
rm -rf build-release
cmake --workflow --preset deb >/dev/null 2>&1 || cmake --workflow --preset deb
version=$(sed -n 's/^  VERSION \([0-9.]*\)$/\1/p' CMakeLists.txt)
deb=build-release/pwdraw_${version}_$(dpkg --print-architecture).deb

fail() { echo "check-deb: $*" >&2; exit 1; }
info=$(dpkg-deb -I "$deb")
for field in 'Package: pwdraw' "Version: $version" 'Section: utils' 'Priority: optional' \
             'Depends: libc6 (>= 2.'; do
  grep -q "^ $field" <<<"$info" || fail "no '$field' in the control file"
done
contents=$(dpkg-deb -c "$deb" | awk '{print $1, $2, $6}')
diff <(echo "$contents") - <<'LIST' || fail "unexpected files"
drwxr-xr-x root/root ./usr/
drwxr-xr-x root/root ./usr/bin/
-rwxr-xr-x root/root ./usr/bin/pwdraw
drwxr-xr-x root/root ./usr/share/
drwxr-xr-x root/root ./usr/share/doc/
drwxr-xr-x root/root ./usr/share/doc/pwdraw/
-rw-r--r-- root/root ./usr/share/doc/pwdraw/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/pwdraw/copyright
drwxr-xr-x root/root ./usr/share/man/
drwxr-xr-x root/root ./usr/share/man/man1/
-rw-r--r-- root/root ./usr/share/man/man1/pwdraw.1.gz
LIST
# Informational tags too: a hardening-* one is a build that lost a flag.
tags=$(lintian --fail-on error,warning -I "$deb" 2>/dev/null) || fail "lintian: $tags"
! grep hardening- <<<"$tags" || fail "lintian: a hardening flag is missing"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
file "$root/usr/bin/pwdraw" | grep -q ', stripped' || fail "the binary is not stripped"
warnings=$(zcat "$root/usr/share/man/man1/pwdraw.1.gz" | groff -man -ww -z 2>&1)
[ -z "$warnings" ] || fail "manual page: $warnings"
doc=$root/usr/share/doc/pwdraw
diff <(sed -n '/^License: ISC$/,$p' "$doc/copyright" | sed '1d; s/^ //; s/^\.$//') <(sed 1,4d LICENSE) ||
  fail "the licence in copyright is not the one in LICENSE"
[ "$(zcat "$doc/changelog.gz" | head -n 1)" = "pwdraw ($version) unstable; urgency=medium" ] ||
  fail "the changelog does not start with $version"

mkdir "$root/run"
(cd "$root/run" && "$root/usr/bin/pwdraw" 12 3 >console 2>errors) || fail "exit status $?"
[ ! -s "$root/run/errors" ] || fail "standard error: $(cat "$root/run/errors")"
grep -qxP 'PIN code:\t[0-9]{3}\r' "$root/run/console" || fail "console: $(od -c "$root/run/console")"
grep -qxP '\d\d:\d\d:\d\d \d\d_\d\d_\d{4} PIN code:\t\t[0-9]{3}\r' "$root/run/password.txt" ||
  fail "log: $(od -c "$root/run/password.txt")"
grep -qxP 'quality = 12\r' "$root/run/settings.ini" || fail "settings: $(cat "$root/run/settings.ini")"

# The same commit built again, later and in another directory.
mkdir "$root/again"
git archive HEAD | tar -x -C "$root/again"
(cd "$root/again" && cmake --workflow --preset deb >/dev/null 2>&1) || fail "second build"
cmp "$deb" "$root/again/$deb" || fail "a second build of HEAD differs (uncommitted changes count too)"

echo "$deb: $(stat -c %s "$deb") bytes, binary $(stat -c %s "$root/usr/bin/pwdraw") bytes stripped, sha256 $(sha256sum <"$deb" | cut -d' ' -f1)"
echo "$contents"
