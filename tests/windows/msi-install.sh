#!/usr/bin/env bash
# The console installer under Wine: installs per machine into Program Files,
# registers an uninstall entry with version and publisher, the installed
# varnelctl.exe starts from there, and uninstalling leaves neither. With an
# older package beside it: that one installed first is replaced by this one,
# and offered afterwards it is refused, leaving this one in place.
#   tests/windows/msi-install.sh PACKAGE.msi VERSION [OLDER.msi]
set -euo pipefail
msi=$(readlink -f "$1")
version=$2
older=${3:+$(readlink -f "$3")}
# A prefix of its own: the installer must find no DLL but its own.
export WINEPREFIX=$(mktemp -d)/prefix
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null || true; rm -rf "$(dirname "$WINEPREFIX")"' EXIT
wineboot --init >/dev/null 2>&1
fail() { echo "msi-install: $*" >&2; exit 1; }
installed="$WINEPREFIX/drive_c/Program Files/Varnel"
uninstall_entries() { wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r'; }

if [ -n "$older" ]; then
  wine msiexec /i "Z:${older//\//\\}" /qn || fail "the older package does not install"
fi
wine msiexec /i "Z:${msi//\//\\}" /qn || fail "msiexec /i failed"
[ -f "$installed/varnelctl.exe" ] || fail "nothing in Program Files\\Varnel"
for file in LICENSE.txt THIRD-PARTY-NOTICES.txt varnel.ini varnelstrings.en; do
  [ -f "$installed/$file" ] || fail "$file not installed"
done
out=$(wine 'C:\Program Files\Varnel\varnelctl.exe' --version | tr -d '\r')
grep -qx "varnelctl $version" <<<"$out" || fail "the installed varnelctl.exe says: $out"
entries=$(uninstall_entries)
grep -q 'DisplayName.*Varnel' <<<"$entries" || fail "no uninstall entry"
grep -q 'Publisher.*The Varnel developers' <<<"$entries" || fail "the uninstall entry names no publisher"
if [ -n "$older" ]; then
  [ "$(grep -c 'DisplayName.*Varnel' <<<"$entries")" = 1 ] || fail "the older version was not replaced: $entries"
  ! wine msiexec /i "Z:${older//\//\\}" /qn || fail "the older package replaced the newer one"
  out=$(wine 'C:\Program Files\Varnel\varnelctl.exe' --version | tr -d '\r')
  grep -qx "varnelctl $version" <<<"$out" || fail "after the older package was refused, varnelctl.exe says: $out"
fi

wine msiexec /x "Z:${msi//\//\\}" /qn || fail "msiexec /x failed"
# Wine's installer service may finish a moment after msiexec returns.
for _ in $(seq 50); do [ -e "$installed" ] || break; sleep 0.2; done
[ ! -e "$installed" ] || fail "Program Files\\Varnel is still there after uninstalling: $(ls "$installed")"
! grep -q 'DisplayName.*Varnel' <<<"$(uninstall_entries)" || fail "the uninstall entry is still there"
echo "msi-install: installed, started and removed $(basename "$msi")"
