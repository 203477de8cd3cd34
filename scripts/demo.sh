#!/usr/bin/env bash
# The main job: builds Varnel and opens the wizard, in a run directory of its
# own, on the user's display, against simulated units that are started first
# and stopped when the wizard closes. Without a display it does the same job
# with varnelctl (scan, plan, apply to one simulated unit), then draws the
# wizard's pages into pictures. Ctrl-C or SIGTERM stops what it started.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

headless=""
[ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && headless=1

. scripts/packages.sh
. scripts/upssim.sh
# The build and the wizard only: no Wine, MinGW, clang or test servers.
varnel_install_packages build

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ -n "$headless" ]; then
  cmake --build "$build" -j "$(nproc)" --target varnelctl upssim linkserial linkhid linkusb
else
  cmake --build "$build" -j "$(nproc)"
fi

run="$top/run"
mkdir -p "$run"
cp dist/varnel.ini dist/varnelstrings.en dist/sample-batterydata.xml "$run/"

upssim_pid=""
child=""
stop_all() {
  # The wizard or a headless step first, so nothing talks to a unit that is gone.
  for pid in $child $upssim_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  child=""
  upssim_pid=""
}
trap stop_all EXIT
trap 'printf "\nStopped.\n" >&2; stop_all; exit 130' INT
trap 'printf "\nStopped.\n" >&2; stop_all; exit 143' TERM
# A trap waits for a foreground command to end; a waited-for background one can be stopped at once.
in_background() {
  "$@" &
  child=$!
  local code=0
  wait "$child" || code=$?
  child=""
  return "$code"
}

simulator="$top/$build/bin/upssim"
if [ -x "$simulator" ]; then
  # Units that fit the sample data file: one HID, one framed serial, one
  # text serial, and two identical framed ones. The ready file holds the environment the port libraries
  # need to find them, and appears once every unit listens.
  ready="$run/upssim.ready"
  varnel_start_upssim "$simulator" "$ready" "" --dir "$run/ups" --journal "$run/upssim-journal.jsonl" \
    dist/demo-units.ini || { echo "The simulator did not start; see its messages above." >&2; exit 1; }
  eval "$(grep '^export ' "$ready")"
else
  echo "The UPS simulator is not part of this build; the wizard will find only real units." >&2
fi

if [ -z "$headless" ]; then
  echo "Starting the wizard in $run (choose the local file and pick sample-batterydata.xml there; the journal of what the units were sent is run/upssim-journal.jsonl)."
  cd "$run"
  in_background "$top/$build/bin/varnel"
  exit 0
fi

echo
echo "No display found: the same job from the command line, against the simulated units, in $run."
# The simulated units only, not the serial ports of this machine.
export LINKSERIAL_DETECT=0 LINKHID_DETECT=0
ctl="$top/$build/bin/varnelctl"
cd "$run"
step() {
  echo
  echo "\$ varnelctl $*"
  in_background "$ctl" "$@"
}
step scan
step packs --data sample-batterydata.xml
step plan --data sample-batterydata.xml --unit 2 --pack 1=2
step apply --yes --data sample-batterydata.xml --unit 2 --pack 1=2
echo
echo "The values unit 2 holds now, read back from it:"
held=$("$ctl" backup --unit 2 2>&1 | sed -n "s/.* saved in \(backups\/.*\.json\)\..*/\1/p")
[ -n "$held" ] || { echo "Reading the unit back failed; see $run/varnel.log." >&2; exit 1; }
grep -E '"(externalBatteryCount|batteryTableValues|cTableValues|cTableHighB)"' "$run/$held" | sed 's/^ */  /; s/,$//'
stop_all

echo
echo "Drawing the wizard's five pages without a display..."
in_background "$top/scripts/screenshots.sh"
cat <<TEXT

The pictures of the pages are in $top/docs/screenshots/ (page1.png to page5.png).
To use the real window, run the demo on a desktop, or on a virtual screen:
    xvfb-run -a -s "-screen 0 1280x800x24" scripts/demo.sh
The files of this run (varnel.log, backups/, the journal of what the units were sent) are in $run.
TEXT
