#!/usr/bin/env bash
# Builds the MinGW-w64 libraries the Windows build needs, from Debian's own
# sources, into a cache folder outside the clone (once per machine; a library
# already there is kept). Prints nothing but progress; the folder is
# $VARNEL_WINDOWS_DEPS, by default ~/.cache/varnel/windows-deps.
#   scripts/windows-deps.sh        libxml2, OpenSSL, GoogleTest, CLI11, nlohmann-json
#   scripts/windows-deps.sh --qt   Qt as well (about 30 minutes on two cores)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/windows-env.sh"
with_qt=0
[ "${1:-}" = "--qt" ] && with_qt=1

varnel_install_packages build windows
mkdir -p "$VARNEL_WINDOWS_DEPS/src"
deps=$VARNEL_WINDOWS_DEPS
jobs=$(nproc)
toolchain=$top/cmake/mingw-w64-x86_64.cmake

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

# `apt-get source` needs deb-src entries: the same archives as the binary ones.
ensure_source_entries() {
  if apt-get source --print-uris libxml2 >/dev/null 2>&1; then
    return
  fi
  local list=/etc/apt/sources.list.d/varnel-deb-src.sources
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | $sudo tee "$list" >/dev/null
  else
    grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | $sudo tee "${list%.sources}.list" >/dev/null
  fi
  $sudo apt-get update >&2
}

# The unpacked source folder of a Debian source package, fetched once.
debian_source() {
  local package=$1
  local dir
  dir=$(find "$deps/src" -maxdepth 1 -type d -name "$package-[0-9]*" | head -n1)
  if [ -z "$dir" ]; then
    ensure_source_entries
    (cd "$deps/src" && apt-get source -q "$package" >/dev/null 2>&1)
    dir=$(find "$deps/src" -maxdepth 1 -type d -name "$package-[0-9]*" | head -n1)
  fi
  echo "$dir"
}

if [ ! -f "$deps/stamps/libxml2" ]; then
  echo "windows-deps: libxml2"
  src=$(debian_source libxml2)
  rm -rf "$deps/build/libxml2"
  cmake -S "$src" -B "$deps/build/libxml2" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps" -DBUILD_SHARED_LIBS=OFF \
    -DLIBXML2_WITH_ICONV=OFF -DLIBXML2_WITH_ICU=OFF -DLIBXML2_WITH_LZMA=OFF -DLIBXML2_WITH_ZLIB=OFF \
    -DLIBXML2_WITH_PYTHON=OFF -DLIBXML2_WITH_HTTP=OFF -DLIBXML2_WITH_FTP=OFF -DLIBXML2_WITH_MODULES=OFF \
    -DLIBXML2_WITH_TESTS=OFF -DLIBXML2_WITH_PROGRAMS=OFF >/dev/null
  cmake --build "$deps/build/libxml2" -j "$jobs" >/dev/null
  cmake --install "$deps/build/libxml2" >/dev/null
  mkdir -p "$deps/stamps" && touch "$deps/stamps/libxml2"
fi

# OpenSSL for TLS and SHA-256, from Debian's upstream tarball (its packaging
# files are not needed for a cross build). Static, so varnelctl.exe stays one
# file; the Windows trust store is read by the program itself.
if [ ! -f "$deps/stamps/openssl" ]; then
  echo "windows-deps: openssl"
  tarball=$(find "$deps/src" -maxdepth 1 -name 'openssl_*.orig.tar.gz' | head -n1)
  if [ -z "$tarball" ]; then
    ensure_source_entries
    (cd "$deps/src" && apt-get source --download-only -q openssl >/dev/null 2>&1) || true
    tarball=$(find "$deps/src" -maxdepth 1 -name 'openssl_*.orig.tar.gz' | head -n1)
  fi
  [ -n "$tarball" ] || { echo "windows-deps: the openssl source tarball could not be fetched" >&2; exit 1; }
  rm -rf "$deps/build/openssl"
  mkdir -p "$deps/build/openssl"
  tar -xzf "$tarball" -C "$deps/build/openssl" --strip-components=1
  # OpenSSL's own sources warn under MinGW; the output goes to a log, shown only when the build fails.
  (cd "$deps/build/openssl" &&
    ./Configure mingw64 --cross-compile-prefix=x86_64-w64-mingw32- --prefix="$deps" --libdir=lib \
      no-tests no-shared && make -j "$jobs" build_libs && make install_dev) >"$deps/build/openssl.log" 2>&1 ||
    { tail -n 30 "$deps/build/openssl.log" >&2; exit 1; }
  mkdir -p "$deps/stamps" && touch "$deps/stamps/openssl"
fi

if [ ! -f "$deps/stamps/googletest" ]; then
  echo "windows-deps: googletest"
  rm -rf "$deps/build/googletest"
  cmake -S /usr/src/googletest -B "$deps/build/googletest" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps" -Dgtest_disable_pthreads=OFF >/dev/null
  cmake --build "$deps/build/googletest" -j "$jobs" >/dev/null
  cmake --install "$deps/build/googletest" >/dev/null
  mkdir -p "$deps/stamps" && touch "$deps/stamps/googletest"
fi

# Header-only: MinGW's compiler does not search /usr/include, so they are copied.
if [ ! -f "$deps/stamps/headers" ]; then
  echo "windows-deps: CLI11, nlohmann-json"
  mkdir -p "$deps/include" "$deps/share/cmake"
  cp -r /usr/include/CLI /usr/include/nlohmann "$deps/include/"
  cp -r /usr/share/cmake/nlohmann_json /usr/share/cmake/CLI11 "$deps/share/cmake/"
  mkdir -p "$deps/stamps" && touch "$deps/stamps/headers"
fi

# windows-qt.sh keeps a stamp per Qt module, so a module left out once (its
# source could not be fetched) is tried again on the next run.
if [ "$with_qt" = 1 ]; then
  "$top/scripts/windows-qt.sh"
fi
echo "windows-deps: ready in $deps"
