#!/usr/bin/env bash
# Cross-builds Varnel for 64-bit Windows with MinGW-w64 and packs it, with the
# DLLs it needs and the run files, into dist-windows/Varnel, a zip and an MSI installer beside it.
#   scripts/windows.sh                       varnelctl and the port DLLs
#   scripts/windows.sh --gui                 the wizard as well (Qt is built for MinGW once, ~30 min)
#   scripts/windows.sh --gui --screenshots   then pictures of the wizard under Wine into docs/screenshots/windows/
# VARNEL_WINDOWS_BUILD=DIR packs the console programs of an existing MinGW build instead of making one.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

gui=0
screenshots=0
for arg in "$@"; do
  case "$arg" in
    --gui) gui=1 ;;
    --screenshots) screenshots=1 ;;
    -h|--help) sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "windows.sh: unknown option $arg (see --help)" >&2; exit 2 ;;
  esac
done
if [ "$screenshots" = 1 ] && [ "$gui" = 0 ]; then
  echo "windows.sh: --screenshots needs --gui" >&2
  exit 2
fi

. scripts/windows-env.sh
. scripts/upssim.sh
# Beyond scripts/packages.sh: what the pictures under Wine need.
if [ "$screenshots" = 1 ]; then
  VARNEL_PACKAGES+=(x11-apps xdotool imagemagick fonts-liberation fonts-wine)
  varnel_install_packages
fi

elapsed() { echo "$(( (SECONDS - $1) / 60 )) min $(( (SECONDS - $1) % 60 )) s"; }

if [ "$gui" = 1 ]; then
  scripts/windows-deps.sh --qt
else
  scripts/windows-deps.sh
fi
deps=$VARNEL_WINDOWS_DEPS
qt=$deps/qt
mingw=x86_64-w64-mingw32
gcc_dll_dir=$(dirname "$($mingw-g++-posix -print-libgcc-file-name)")
version=$(sed -n 's/^project(Varnel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
jobs=$(nproc)

start=$SECONDS
# Apart from scripts/test.sh's build/windows: a release build without tests.
build=build/windows-package
if [ "$gui" = 1 ]; then
  gui_option=ON
  targets=(varnel varnelctl)
else
  gui_option=OFF
  targets=(varnelctl)
fi
# CI packs the build its tests ran on (VARNEL_WINDOWS_BUILD) rather than compiling everything twice.
if [ -n "${VARNEL_WINDOWS_BUILD:-}" ]; then
  build=$VARNEL_WINDOWS_BUILD
  [ "$gui" = 0 ] || { echo "windows.sh: VARNEL_WINDOWS_BUILD is for the console package" >&2; exit 2; }
else
  mkdir -p build
  cmake -S . -B "$build" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DVARNEL_BUILD_GUI=$gui_option -DVARNEL_BUILD_TESTS=OFF -DVARNEL_BUILD_BENCH=OFF \
    -DCMAKE_PREFIX_PATH="$qt" -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake" >"$build.configure.log" 2>&1 ||
    { tail -30 "$build.configure.log" >&2; exit 1; }
fi
cmake --build "$build" -j "$jobs" --target "${targets[@]}"
# The port libraries are taken when they build for Windows; a missing one only
# means the package cannot reach that kind of unit.
ports=()
for port in linkserial linkhid linkusb; do
  if cmake --build "$build" -j "$jobs" --target "$port" >"$build/$port.log" 2>&1; then
    ports+=("$port")
  else
    echo "windows.sh: $port does not build for Windows (see $build/$port.log); the package goes without it" >&2
  fi
done
echo "windows.sh: build took $(elapsed $start)"

# --- The package: the programs, every DLL they load that is not part of
# Windows (found by their import tables, recursively), Qt's plugins, the run files.
start=$SECONDS
package=dist-windows/Varnel
rm -rf "$package"
mkdir -p "$package"
for target in "${targets[@]}"; do
  cp "$build/bin/$target.exe" "$package/"
done
for port in ${ports[@]+"${ports[@]}"}; do
  cp "$build/bin/$port.dll" "$package/"
done
if [ "$gui" = 1 ]; then
  # The platform plugin is the one Qt cannot start without; the Vista style
  # makes the controls look native; the SVG ones come with Qt Svg, when built.
  for plugin in platforms/qwindows.dll styles/qwindowsvistastyle.dll imageformats/qsvg.dll iconengines/qsvgicon.dll; do
    if [ -f "$qt/plugins/$plugin" ]; then
      mkdir -p "$package/$(dirname "$plugin")"
      cp "$qt/plugins/$plugin" "$package/$plugin"
    fi
  done
fi

dll_dirs=("$qt/bin" "/usr/$mingw/lib" "$gcc_dll_dir")
find_dll() {
  local dir
  for dir in "${dll_dirs[@]}"; do
    [ -d "$dir" ] || continue
    find "$dir" -maxdepth 1 -iname "$1" -print -quit | grep . && return 0
  done
  return 1
}
declare -A seen=()
from_windows=()
queue=()
while IFS= read -r file; do queue+=("$file"); done < <(find "$package" -iname '*.exe' -o -iname '*.dll')
while [ ${#queue[@]} -gt 0 ]; do
  file=${queue[0]}
  queue=("${queue[@]:1}")
  while IFS= read -r dll; do
    key=${dll,,}
    [ -n "${seen[$key]:-}" ] && continue
    seen[$key]=1
    if source_dll=$(find_dll "$dll"); then
      cp "$source_dll" "$package/"
      queue+=("$package/$(basename "$source_dll")")
    else
      from_windows+=("$dll")
    fi
  done < <($mingw-objdump -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p')
done
echo "windows.sh: left to Windows itself: $(printf '%s\n' "${from_windows[@]}" | sort -f | tr '\n' ' ')"
# Debian's MinGW runtime DLLs carry their symbols (libstdc++ 23 MB instead of 2).
find "$package" \( -iname '*.exe' -o -iname '*.dll' \) -exec $mingw-strip --strip-unneeded {} +

cp dist/varnel.ini dist/varnelstrings.en dist/sample-batterydata.xml "$package/"
# The licence, and the notices and licence texts of every library shipped.
cp LICENSE "$package/LICENSE.txt"
notices=()
[ "$gui" = 1 ] && notices+=(--qt)
scripts/third-party-notices.sh ${notices[@]+"${notices[@]}"} >"$package/THIRD-PARTY-NOTICES.txt"
zip_name=Varnel-$version-windows-x64.zip
[ "$gui" = 0 ] && zip_name=Varnel-$version-windows-x64-console.zip
rm -f "dist-windows/$zip_name"
(cd dist-windows && zip -q -r -9 "$zip_name" Varnel)
echo "windows.sh: package took $(elapsed $start)"
echo "windows.sh: dist-windows/$zip_name ($(du -h "dist-windows/$zip_name" | cut -f1)), unpacked in $package ($(du -sh "$package" | cut -f1))"

# --- The installer: the same files, per machine into Program Files\Varnel,
# with an uninstall entry; the wizard gets a Start-menu entry with its icon.
start=$SECONDS
msi_name=${zip_name%.zip}.msi
scripts/windows-msi.sh "$package" "$version" "$gui" "dist-windows/$msi_name"
echo "windows.sh: installer took $(elapsed $start)"
echo "windows.sh: dist-windows/$msi_name ($(du -h "dist-windows/$msi_name" | cut -f1))"

[ "$screenshots" = 1 ] || exit 0

# --- Pictures of the wizard's pages, running under Wine on a virtual screen,
# against the simulated serial units of the demo.
start=$SECONDS
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$jobs" --target upssim >/dev/null
run=$(mktemp -d)
export WINEPREFIX=${VARNEL_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/varnel/wineprefix-gui}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
upssim_pid=""
xvfb_pid=""
wizard_pid=""
cleanup() {
  for pid in $wizard_pid $upssim_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  wineserver -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$run"
}
trap cleanup EXIT

# HID units reach Windows over loopback TCP, where the simulator offers it.
sim_options=()
build/release/bin/upssim --help 2>&1 | grep -q -- --hid-tcp && sim_options+=(--hid-tcp)
varnel_start_upssim build/release/bin/upssim "$run/upssim.ready" "$run/upssim.out" --dir "$run/ups" \
  ${sim_options[@]+"${sim_options[@]}"} dist/demo-units.ini ||
  { echo "windows.sh: the simulator did not start" >&2; exit 1; }
ready_value() { sed -n "s/^export $1=//p" "$run/upssim.ready" | tr -d "'"; }
linux_ports=$(ready_value LINKSERIAL_PORTS)
hid_tcp=$(ready_value LINKHID_SIMULATORS_TCP)

display=:$(( 90 + RANDOM % 100 ))
Xvfb "$display" -screen 0 1024x640x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

# Wine gets a COM port per simulated serial unit; Arial, which the wizard's
# controls use, is Liberation Sans here; Wine draws the title bars itself.
wineboot -i >/dev/null 2>&1 || true
com=20
windows_ports=()
IFS=: read -r -a links <<<"$linux_ports"
for link in ${links[@]+"${links[@]}"}; do
  wine reg add 'HKLM\Software\Wine\Ports' /v "COM$com" /t REG_SZ /d "$(readlink -f "$link")" /f >/dev/null 2>&1
  windows_ports+=("COM$com")
  com=$((com + 1))
done
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /t REG_SZ /d 'Liberation Sans' /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true

cp -r "$package/." "$run/"
out=docs/screenshots/windows
mkdir -p "$out"
export LINKSERIAL_PORTS LINKHID_SIMULATORS LINKSERIAL_DETECT=0 LINKHID_DETECT=0
LINKSERIAL_PORTS=$(IFS=';'; echo "${windows_ports[*]+"${windows_ports[*]}"}")
LINKHID_SIMULATORS=$hid_tcp
export WINEPATH=""
(cd "$run" && exec wine varnel.exe) >"$run/wine.out" 2>&1 &
wizard_pid=$!

window=""
for _ in $(seq 100); do
  window=$(xdotool search --onlyvisible --name '^Varnel' 2>/dev/null | head -n1) && [ -n "$window" ] && break
  sleep 0.2
done
[ -n "$window" ] || { cat "$run/wine.out" >&2; echo "windows.sh: the wizard's window did not show" >&2; exit 1; }
xdotool windowmove "$window" 20 20
sleep 1

# The window's picture, title bar included (Wine draws it inside the window).
shoot() {
  eval "$(xdotool getwindowgeometry --shell "$window")"
  xwd -root -silent | convert-im6.q16 xwd:- -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -strip "$1"
}
# A click at a point of the dialog given in its dialog units (600 x 300, see
# src/app/DialogLayout.cpp), below the title bar Wine draws.
frame=4
caption=23
click() {
  eval "$(xdotool getwindowgeometry --shell "$window")"
  local x=$(( frame + $1 * (WIDTH - 2 * frame) / 600 ))
  local y=$(( caption + $2 * (HEIGHT - caption - frame) / 300 ))
  xdotool mousemove --window "$window" "$x" "$y" click 1
  sleep 0.5
}
choose() {
  click "$1" "$2"
  xdotool key --delay 100 $(printf 'Down %.0s' $(seq "$3")) Return
  sleep 0.5
}
# A picture once the window stops changing (a blocking step shows a moving bar).
settle() {
  local last="" now
  for _ in $(seq 60); do
    sleep 1
    shoot "$1"
    now=$(md5sum <"$1")
    [ "$now" = "$last" ] && return 0
    last=$now
  done
}
# Next, then the page's picture; false when the page stays as it was.
next_page() {
  local page=$1 previous=$out/page$(( $1 - 1 )).png
  click 465 279
  settle "$run/now.png"
  if cmp -s "$run/now.png" "$previous"; then
    cp "$run/varnel.log" "$build/screenshots-varnel.log" 2>/dev/null || true
    echo "windows.sh: the wizard stays on page $(( page - 1 )) (see $build/screenshots-varnel.log)" >&2
    return 1
  fi
  mv "$run/now.png" "$out/page$page.png"
  echo "$out/page$page.png"
}

rm -f "$out"/page*.png
shoot "$out/page1.png" && echo "$out/page1.png"
# Page 1 offers the local file; Qt's file dialog opens in the run folder.
click 465 279
sleep 3
xdotool type --delay 40 sample-batterydata.xml
xdotool key Return
settle "$out/page2.png" && echo "$out/page2.png"
if next_page 3 && next_page 4; then
  # Two kinds of pack: two of the first, one of the second.
  choose 225 144 2
  choose 387 144 1
  choose 225 174 1
  choose 387 174 2
  shoot "$out/page4.png"
  next_page 5 || true
fi
echo "windows.sh: screenshots took $(elapsed $start)"
