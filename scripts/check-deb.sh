#!/usr/bin/env bash
# Builds the Debian package and checks it: its control fields, its exact
# file list, its manual page, and one run of the binary unpacked from it.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --workflow --preset deb >/dev/null 2>&1 || cmake --workflow --preset deb
version=$(sed -n 's/^  VERSION \([0-9.]*\)$/\1/p' CMakeLists.txt)
deb=build-release/pwdraw_${version}_$(dpkg --print-architecture).deb

fail() { echo "check-deb: $*" >&2; exit 1; }
info=$(dpkg-deb -I "$deb")
for field in 'Package: pwdraw' "Version: $version" 'Section: utils' 'Priority: optional' \
             'Depends: libc6 (>= 2.'; do
  grep -q "^ $field" <<<"$info" || fail "no '$field' in the control file"
done
contents=$(dpkg-deb -c "$deb" | awk '{print $1, $6}')
diff <(echo "$contents") - <<'LIST' || fail "unexpected files"
drwxr-xr-x ./usr/
drwxr-xr-x ./usr/bin/
-rwxr-xr-x ./usr/bin/pwdraw
drwxr-xr-x ./usr/share/
drwxr-xr-x ./usr/share/man/
drwxr-xr-x ./usr/share/man/man1/
-rw-r--r-- ./usr/share/man/man1/pwdraw.1.gz
LIST

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
file "$root/usr/bin/pwdraw" | grep -q ', stripped' || fail "the binary is not stripped"
warnings=$(zcat "$root/usr/share/man/man1/pwdraw.1.gz" | groff -man -ww -z 2>&1)
[ -z "$warnings" ] || fail "manual page: $warnings"

mkdir "$root/run"
(cd "$root/run" && "$root/usr/bin/pwdraw" 12 3 >console 2>errors) || fail "exit status $?"
[ ! -s "$root/run/errors" ] || fail "standard error: $(cat "$root/run/errors")"
grep -qxP 'PIN code:\t[0-9]{3}\r' "$root/run/console" || fail "console: $(od -c "$root/run/console")"
grep -qxP '\d\d:\d\d:\d\d \d\d_\d\d_\d{4} PIN code:\t\t[0-9]{3}\r' "$root/run/password.txt" ||
  fail "log: $(od -c "$root/run/password.txt")"
grep -qxP 'quality = 12\r' "$root/run/settings.ini" || fail "settings: $(cat "$root/run/settings.ini")"

echo "$deb: $(stat -c %s "$deb") bytes, binary $(stat -c %s "$root/usr/bin/pwdraw") bytes stripped"
echo "$contents"
