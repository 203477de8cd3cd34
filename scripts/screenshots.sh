#!/usr/bin/env bash
# Walks the wizard through its five pages on a virtual screen and writes one
# picture per page into docs/screenshots/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
. scripts/packages.sh
. scripts/upssim.sh
varnel_install_packages build

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target varnel-screenshots upssim linkserial linkhid linkusb

run=$(mktemp -d)
upssim_pid=""
cleanup() {
  if [ -n "$upssim_pid" ]; then kill "$upssim_pid" 2>/dev/null || true; wait "$upssim_pid" 2>/dev/null || true; fi
  rm -rf "$run"
}
trap cleanup EXIT
# The pages show the simulated units of the demo.
varnel_start_upssim "$top/$build/bin/upssim" "$run/upssim.ready" "$run/upssim.out" --dir "$run/ups" \
  dist/demo-units.ini || { echo "The simulator did not start." >&2; exit 1; }
eval "$(grep '^export ' "$run/upssim.ready")"
cp dist/varnel.ini dist/varnelstrings.en dist/sample-batterydata.xml "$run/"
out="$top/docs/screenshots"
mkdir -p "$out"

driver="$top/$build/bin/varnel-screenshots"
if command -v xvfb-run >/dev/null; then
  xvfb-run -a -s "-screen 0 1280x800x24" "$driver" "$run" "$out"
else
  echo "xvfb-run not found; drawing offscreen instead." >&2
  QT_QPA_PLATFORM=offscreen "$driver" "$run" "$out"
fi
echo "Pictures written to docs/screenshots/."
