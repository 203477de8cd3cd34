#!/usr/bin/env bash
# Cross-builds the parts of Qt the wizard needs for 64-bit Windows (MinGW-w64),
# from Debian's own sources, into $VARNEL_WINDOWS_DEPS/qt. Debian's Linux Qt
# provides the host tools (moc, rcc, uic). Each module is built once; a stamp
# file marks it done. Called by scripts/windows-deps.sh --qt.
#   VARNEL_QT_JOBS   parallel jobs (default: the number of cores)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/windows-env.sh"

# Beyond scripts/packages.sh: Debian's host Qt tools of the same version.
qt_host_packages=(qt6-base-dev qt6-base-dev-tools qt6-svg-dev)
missing=()
for pkg in "${qt_host_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

deps=$VARNEL_WINDOWS_DEPS
prefix=$deps/qt
jobs=${VARNEL_QT_JOBS:-$(nproc)}
toolchain=$top/cmake/mingw-w64-x86_64.cmake
# Where Debian keeps the host Qt's CMake packages.
host_cmake=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake
mkdir -p "$deps/src" "$deps/build" "$deps/stamps"

# The unpacked source folder of a Debian source package, fetched once; empty
# when the archive does not have it.
debian_source() {
  local package=$1
  local dir
  dir=$(find "$deps/src" -maxdepth 1 -type d -name "$package-[0-9]*" | head -n1)
  if [ -z "$dir" ]; then
    (cd "$deps/src" && apt-get source -q "$package" >"$deps/build/apt-source-$package.log" 2>&1) || true
    dir=$(find "$deps/src" -maxdepth 1 -type d -name "$package-[0-9]*" | head -n1)
  fi
  echo "$dir"
}

# timed LABEL COMMAND...
timed() {
  local label=$1 start=$SECONDS
  shift
  "$@"
  echo "windows-qt: $label took $(( (SECONDS - start) / 60 )) min $(( (SECONDS - start) % 60 )) s"
}

# Only what the wizard uses: widgets drawn in software by the windows platform
# plugin. The bundled copies of zlib, libpng, pcre2, harfbuzz and freetype are
# used, as MinGW has none of them.
build_qtbase() {
  local src
  src=$(debian_source qt6-base)
  [ -n "$src" ] || { echo "windows-qt: apt-get source qt6-base failed, see $deps/build/apt-source-qt6-base.log" >&2; exit 1; }
  local patch
  for patch in "$top"/scripts/patches/qtbase-*.patch; do
    [ -f "$patch" ] || continue
    patch -d "$src" -p1 -R -f -s --dry-run <"$patch" >/dev/null 2>&1 || patch -d "$src" -p1 -f -s <"$patch"
  done
  local build=$deps/build/qtbase
  # An interrupted build goes on where it stopped.
  local start=$SECONDS
  cmake -S "$src" -B "$build" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=ON \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF -DQT_BUILD_MANUAL_TESTS=OFF \
    -DINPUT_opengl=no -DQT_FEATURE_opengl=OFF -DQT_FEATURE_dbus=OFF -DQT_FEATURE_icu=OFF \
    -DQT_FEATURE_sql=OFF -DQT_FEATURE_network=OFF -DQT_FEATURE_printsupport=OFF -DQT_FEATURE_concurrent=OFF \
    -DQT_FEATURE_xml=OFF -DQT_FEATURE_vulkan=OFF -DQT_FEATURE_zstd=OFF -DQT_FEATURE_openssl=OFF \
    -DQT_FEATURE_sql_sqlite=OFF -DQT_FEATURE_jpeg=OFF -DQT_FEATURE_gif=OFF \
    -DQT_FEATURE_system_zlib=OFF -DQT_FEATURE_system_png=OFF -DQT_FEATURE_system_pcre2=OFF \
    -DQT_FEATURE_system_harfbuzz=OFF -DQT_FEATURE_system_freetype=OFF -DQT_FEATURE_system_doubleconversion=OFF \
    -DQT_FEATURE_direct2d=OFF \
    >"$build.configure.log" 2>&1 || { tail -40 "$build.configure.log" >&2; exit 1; }
  echo "windows-qt: configured in $(( SECONDS - start )) s"
  nice -n 10 cmake --build "$build" -j "$jobs" >"$build.log" 2>&1 || { tail -40 "$build.log" >&2; exit 1; }
  cmake --install "$build" >/dev/null
  touch "$deps/stamps/qtbase"
}

# A Qt module on top of the cross-built qtbase (Qt Svg).
build_module() {
  local package=$1 module=$2
  local src
  src=$(debian_source "$package")
  if [ -z "$src" ]; then
    echo "windows-qt: the source of $package could not be fetched (see $deps/build/apt-source-$package.log); $module is left out" >&2
    return 0
  fi
  local build=$deps/build/$module
  # An interrupted build goes on where it stopped.
  local start=$SECONDS
  # The toolchain file of this clone, not the one Qt was configured with, which may be gone.
  "$prefix/bin/qt-cmake" -S "$src" -B "$build" -G Ninja -Wno-dev -DQT_CHAINLOAD_TOOLCHAIN_FILE="$toolchain" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    >"$build.configure.log" 2>&1 || { tail -40 "$build.configure.log" >&2; exit 1; }
  echo "windows-qt: configured in $(( SECONDS - start )) s"
  nice -n 10 cmake --build "$build" -j "$jobs" >"$build.log" 2>&1 || { tail -40 "$build.log" >&2; exit 1; }
  cmake --install "$build" >/dev/null
  touch "$deps/stamps/$module"
}

[ -f "$deps/stamps/qtbase" ] || { echo "windows-qt: qtbase"; timed qtbase build_qtbase; }
[ -f "$deps/stamps/qtsvg" ] || { echo "windows-qt: qtsvg"; timed qtsvg build_module qt6-svg qtsvg; }
echo "windows-qt: ready in $prefix"
