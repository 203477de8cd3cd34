#!/usr/bin/env bash
# Walks the wizard through its five pages on a virtual screen and writes one
# picture per page into docs/screenshots/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
. scripts/packages.sh
varnel_install_packages

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target varnel-screenshots upssim linkserial linkhid linkusb

run=$(mktemp -d)
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$run"
}
trap cleanup EXIT
# The pages show the simulated units of the demo.
"$top/$build/bin/upssim" --dir "$run/ups" --ready "$run/upssim.ready" dist/demo-units.ini >"$run/upssim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do [ -s "$run/upssim.ready" ] && break; sleep 0.1; done
[ -s "$run/upssim.ready" ] || { cat "$run/upssim.out" >&2; echo "The simulator did not start." >&2; exit 1; }
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
