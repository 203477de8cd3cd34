#!/usr/bin/env bash
# Builds the Debian package varnel_<version>-1_amd64.deb into build/pkg/ and
# prints its path on the last line.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
. scripts/packages.sh
varnel_install_packages build package

build=${VARNEL_PACKAGE_BUILD:-build/pkg}
# Debian's hardening: fortified string functions, stack protector, read-only relocations bound at start.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DVARNEL_BUILD_TESTS=OFF -DVARNEL_BUILD_BENCH=OFF \
  "-DCMAKE_CXX_FLAGS=-D_FORTIFY_SOURCE=2 -fstack-protector-strong" \
  "-DCMAKE_C_FLAGS=-D_FORTIFY_SOURCE=2 -fstack-protector-strong" \
  "-DCMAKE_EXE_LINKER_FLAGS=-Wl,-z,relro -Wl,-z,now" "-DCMAKE_SHARED_LINKER_FLAGS=-Wl,-z,relro -Wl,-z,now" >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/varnel_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$top/$build"/varnel_*_amd64.deb
