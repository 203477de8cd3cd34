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
cmake --build "$build" -j "$(nproc)" --target varnel-screenshots

run=$(mktemp -d)
trap 'rm -rf "$run"' EXIT
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
