#!/usr/bin/env bash
# Installs what is missing, then builds and runs the tests: every part, in
# this order, or only the parts named.
#   scripts/test.sh [PART...]
#     release     the format check, the release build (build/release) and its
#                 tests, the demo stopped half-way, and valgrind over the
#                 end-to-end and device tests
#     sanitizers  a build under AddressSanitizer and UBSan (build/asan) and its tests
#     windows     the MinGW-w64 build (build/windows) and its tests under Wine, the
#                 console zip and installer, installed and removed under Wine; its
#                 tests talk to the release build's upssim, which it builds first;
#                 with Qt built for Windows, the chart's tests under Wine too
#     package     the Debian package, checked from a throw-away root
#     fuzz        each fuzz target briefly (VARNEL_FUZZ_SECONDS, default 5)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

all_parts=(release sanitizers windows package fuzz)
usage() { sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; }
parts=()
for arg in "$@"; do
  case "$arg" in
    -h|--help) usage; exit 0 ;;
    release|sanitizers|windows|package|fuzz) parts+=("$arg") ;;
    *) echo "test.sh: unknown part '$arg' (see --help)" >&2; exit 2 ;;
  esac
done

. scripts/packages.sh
if [ ${#parts[@]} -eq 0 ]; then
  parts=("${all_parts[@]}")
  varnel_install_packages
else
  groups=(build)
  for part in "${parts[@]}"; do
    case "$part" in
      release|sanitizers) groups+=(tests) ;;
      windows) groups+=(tests windows) ;;
      package) groups+=(package) ;;
      fuzz) groups+=(fuzz) ;;
    esac
  done
  mapfile -t groups < <(printf '%s\n' "${groups[@]}" | sort -u)
  varnel_install_packages "${groups[@]}"
fi

jobs=$(nproc)
run_build() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@"
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs")
}
# Line tables only (-g1): enough for file and line in sanitizer and valgrind
# reports, and a third quicker to compile than full debug information.
release_options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG")

part_release() {
  # Every source file as .clang-format has it; the fuzz corpora are data, not code.
  git ls-files '*.cpp' '*.h' '*.c' | grep -v '^fuzz/corpus' | xargs clang-format-14 --dry-run --Werror
  run_build build/release "${release_options[@]}"
  # The demo stopped half-way leaves nothing running (over the release build).
  tests/scripts/demo-stops.sh
  # Memcheck over the release build's end-to-end and device tests.
  scripts/valgrind.sh build/release
}

part_sanitizers() {
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_build build/asan -DCMAKE_BUILD_TYPE=Debug -DVARNEL_SANITIZE=ON -DVARNEL_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1
}

# The Windows build (MinGW-w64): the core, varnelctl, the port DLLs and their
# tests under Wine, in a Wine prefix made for this run. The cross-built
# libraries come from a cache outside the clone, built once per machine.
part_windows() {
  # The simulator the scripts in tests/windows start; all of build/release when run after that part.
  cmake -S . -B build/release -G Ninja "${release_options[@]}"
  cmake --build build/release -j "$jobs" --target upssim
  . scripts/windows-env.sh
  scripts/windows-deps.sh
  export WINEPREFIX="$top/build/wineprefix"
  rm -rf "$WINEPREFIX" "$WINEPREFIX"-*
  cmake/wine-run.sh wineboot --init
  run_build build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake "${release_options[@]}" \
    -DVARNEL_BUILD_GUI=OFF -DVARNEL_BUILD_BENCH=OFF -DVARNEL_HOST_BIN_DIR="$top/build/release/bin"
  wineserver -k || true
  unset WINEPREFIX
  # The console zip and installer, packed from that build; the installer is
  # installed, started from Program Files and removed again under Wine.
  VARNEL_WINDOWS_BUILD=build/windows scripts/windows.sh >build/windows-package.log 2>&1 ||
    { tail -30 build/windows-package.log >&2; exit 1; }
  local version
  version=$(sed -n 's/^project(Varnel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
  # An older installer of the same files: replaced by this one, then refused over it.
  scripts/windows-msi.sh dist-windows/Varnel 0.0.1 0 build/varnel-older-console.msi
  tests/windows/msi-install.sh "dist-windows/Varnel-$version-windows-x64-console.msi" "$version" \
    build/varnel-older-console.msi
  # Where Qt is built for Windows too (scripts/windows-deps.sh --qt, not on a
  # fresh machine: it takes an hour), the chart's suite runs under Wine as well.
  local qt=$VARNEL_WINDOWS_DEPS/qt
  if [ -f "$VARNEL_WINDOWS_DEPS/stamps/qtbase" ]; then
    export WINEPREFIX="$top/build/wineprefix" WINEPATH="$qt/bin"
    # Wine's own fonts are not files in its Fonts folder, where a drawing
    # without a display looks for them as on Windows: Liberation stands in.
    cp /usr/share/fonts/truetype/liberation/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    cmake -S . -B build/windows-chart -G Ninja -Wno-dev -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
      "${release_options[@]}" -DVARNEL_BUILD_GUI=ON -DVARNEL_BUILD_BENCH=OFF \
      -DCMAKE_PREFIX_PATH="$qt" -DQT_HOST_PATH=/usr \
      -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake" \
      -DVARNEL_HOST_BIN_DIR="$top/build/release/bin"
    cmake --build build/windows-chart -j "$jobs" --target test_chart
    (cd build/windows-chart && ctest --output-on-failure -R '^Chart[.]')
    wineserver -k || true
    unset WINEPREFIX WINEPATH
  fi
}

# The Debian package, unpacked into a throw-away root and run from there.
part_package() {
  tests/package/check-package.sh
}

# Each fuzz target briefly; a machine without clang fails here instead of skipping.
part_fuzz() {
  scripts/fuzz.sh "${VARNEL_FUZZ_SECONDS:-5}"
}

for part in "${parts[@]}"; do
  echo "== test.sh: $part"
  "part_$part"
done
if [ ${#parts[@]} -eq ${#all_parts[@]} ]; then
  echo "All tests passed."
else
  echo "Passed: ${parts[*]}."
fi
