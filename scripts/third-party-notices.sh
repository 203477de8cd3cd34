#!/usr/bin/env bash
# Prints the third-party notices of the Windows package: for each library it
# ships, the copyright file of its Debian package (whose sources the MinGW
# builds come from, or the MinGW runtime itself) and the full texts of the
# licences those files only refer to. Usage: third-party-notices.sh [--qt]
set -euo pipefail
doc=/usr/share/doc
licences=/usr/share/common-licenses

section() {
  local title=$1 file=$2
  [ -r "$file" ] || { echo "third-party-notices: $file is missing" >&2; exit 1; }
  printf '\n%s\n%s\n\n' "$title" "$(printf '%*s' "${#title}" '' | tr ' ' '=')"
  cat "$file"
}

cat <<'TEXT'
Third-party software in the Varnel package for Windows

Varnel itself is licensed under the GNU General Public License, version 3 or
later (LICENSE.txt). The package ships the libraries below, each under its own
licence; their copyright notices and licence texts follow. The sources are
those of the Debian packages named.
TEXT
if [ "${1:-}" = "--qt" ]; then
  section "Qt 6 (Qt6Core, Qt6Gui, Qt6Widgets and plugins; Debian source package qt6-base)" "$doc/libqt6core6/copyright"
  section "GNU Lesser General Public License, version 3 (the licence Qt is used under)" "$licences/LGPL-3"
fi
section "libxml2 (linked in; Debian source package libxml2)" "$doc/libxml2/copyright"
section "OpenSSL (linked in; Debian source package openssl)" "$doc/libssl3/copyright"
section "Apache License, version 2.0 (the licence of OpenSSL 3)" "$licences/Apache-2.0"
section "The GCC runtime: libstdc++-6.dll, libgcc_s_seh-1.dll (GPL-3 with the GCC Runtime Library Exception)" \
  "$doc/gcc-mingw-w64-base/copyright"
section "The MinGW-w64 runtime and libwinpthread-1.dll (Debian source package mingw-w64)" "$doc/mingw-w64-common/copyright"
section "GNU General Public License, version 3 (the licence the GCC runtime exception is granted on)" "$licences/GPL-3"
