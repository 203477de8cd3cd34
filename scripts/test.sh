#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: a normal
# build and one under AddressSanitizer and UBSan.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
. scripts/packages.sh
varnel_install_packages

# Every source file as .clang-format has it; the fuzz corpora are data, not code.
git ls-files '*.cpp' '*.h' '*.c' | grep -v '^fuzz/corpus' | xargs clang-format-14 --dry-run --Werror

jobs=$(nproc)
run_build() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@"
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs")
}

# Line tables only (-g1): enough for file and line in sanitizer and valgrind
# reports, and a third quicker to compile than full debug information.
run_build build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_build build/asan -DCMAKE_BUILD_TYPE=Debug -DVARNEL_SANITIZE=ON -DVARNEL_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1
# The Windows build (MinGW-w64): the core, varnelctl, the port DLLs and their
# tests under Wine, in a Wine prefix made for this run. The cross-built
# libraries come from a cache outside the clone, built once per machine.
. scripts/windows-env.sh
scripts/windows-deps.sh
export WINEPREFIX="$top/build/wineprefix"
rm -rf "$WINEPREFIX" "$WINEPREFIX"-*
cmake/wine-run.sh wineboot --init
run_build build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
  -DVARNEL_BUILD_GUI=OFF -DVARNEL_BUILD_BENCH=OFF -DVARNEL_HOST_BIN_DIR="$top/build/release/bin"
wineserver -k || true
unset WINEPREFIX
# The console zip and installer, packed from that build; the installer is
# installed, started from Program Files and removed again under Wine.
VARNEL_WINDOWS_BUILD=build/windows scripts/windows.sh >build/windows-package.log 2>&1 ||
  { tail -30 build/windows-package.log >&2; exit 1; }
version=$(sed -n 's/^project(Varnel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
tests/windows/msi-install.sh "dist-windows/Varnel-$version-windows-x64-console.msi" "$version"
# The Debian package, unpacked into a throw-away root and run from there.
tests/package/check-package.sh
# The demo stopped half-way leaves nothing running (over the release build).
tests/scripts/demo-stops.sh
# Memcheck over the release build's end-to-end and device tests.
scripts/valgrind.sh build/release
# Each fuzz target briefly; a machine without clang fails here instead of skipping.
scripts/fuzz.sh "${VARNEL_FUZZ_SECONDS:-5}"
echo "All tests passed."
