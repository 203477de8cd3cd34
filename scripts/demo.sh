#!/usr/bin/env bash
# The main job: builds Varnel and opens the wizard, in a run directory of its
# own, on the user's display. When the UPS simulator is part of the build it is
# started first and stopped when the wizard closes.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<'TEXT'
No display found. The wizard needs a desktop session. On a machine without one,
run it on a virtual screen and look at it with a VNC viewer or screenshots:
    xvfb-run -a -s "-screen 0 1280x800x24" scripts/demo.sh
scripts/screenshots.sh writes a picture of each page without any display.
TEXT
  exit 1
fi

. scripts/packages.sh
varnel_install_packages

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j "$(nproc)"

run="$top/run"
mkdir -p "$run"
cp dist/varnel.ini dist/varnelstrings.en dist/sample-batterydata.xml "$run/"

simulator="$top/$build/bin/upssim"
sim_pid=""
stop_simulator() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
}
trap stop_simulator EXIT
if [ -x "$simulator" ]; then
  # Three units that fit the sample data file: one HID, one framed serial,
  # one text serial. The ready file holds the environment the port libraries
  # need to find them, and appears once every unit listens.
  ready="$run/upssim.ready"
  rm -f "$ready"
  "$simulator" --dir "$run/ups" --ready "$ready" --journal "$run/upssim-journal.jsonl" dist/demo-units.ini &
  sim_pid=$!
  for _ in $(seq 50); do [ -s "$ready" ] && break; sleep 0.1; done
  if [ ! -s "$ready" ]; then
    echo "The simulator did not start; see its messages above." >&2
    exit 1
  fi
  eval "$(grep '^export ' "$ready")"
else
  echo "The UPS simulator is not part of this build; the wizard will find only real units." >&2
fi

echo "Starting the wizard in $run (choose the local file and pick sample-batterydata.xml there; the journal of what the units were sent is run/upssim-journal.jsonl)."
(cd "$run" && "$top/$build/bin/varnel")
