#!/usr/bin/env bash
# Stopping scripts/demo.sh half-way must not leave the simulator or varnelctl
# behind: SIGTERM to the script alone, and Ctrl-C (SIGINT to its whole process
# group, as a terminal sends it), promptly. Runs the headless path over an existing build.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"
# Job control: each demo in a process group of its own, with SIGINT not ignored.
set -m
log=$(mktemp)
trap 'rm -f "$log"' EXIT

for case in "TERM script 143" "INT group 130"; do
  read -r signal target expected <<<"$case"
  env -u DISPLAY -u WAYLAND_DISPLAY scripts/demo.sh >"$log" 2>&1 &
  demo=$!
  for _ in $(seq 600); do grep -q '^\$ varnelctl scan' "$log" && break; sleep 0.2; done
  grep -q '^\$ varnelctl scan' "$log" || { cat "$log" >&2; echo "demo-stops: the demo did not reach the scan" >&2; exit 1; }
  # The line is printed before varnelctl starts, so give it a moment to show under the demo.
  for _ in $(seq 50); do
    children=$(cat /proc/"$demo"/task/*/children 2>/dev/null || true)
    names=$(for pid in $children; do tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null || true; echo; done)
    grep -q upssim <<<"$names" && grep -q varnelctl <<<"$names" && break
    sleep 0.1
  done
  grep -q upssim <<<"$names" && grep -q varnelctl <<<"$names" ||
    { echo "demo-stops: expected upssim and varnelctl under the demo, found: $names" >&2; exit 1; }
  # A scan of the demo units takes over ten seconds; the stop must not wait for it.
  start=$SECONDS
  if [ "$target" = group ]; then kill -"$signal" -- -"$demo"; else kill -"$signal" "$demo"; fi
  code=0
  wait "$demo" || code=$?
  [ "$code" -eq "$expected" ] || { echo "demo-stops: SIG$signal: exit code $code, not $expected" >&2; exit 1; }
  [ $((SECONDS - start)) -le 5 ] && ! grep -q 'Simulated Power' "$log" ||
    { echo "demo-stops: SIG$signal waited for the scan to end" >&2; exit 1; }
  for pid in $children; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null; then
      echo "demo-stops: SIG$signal left $(tr '\0' ' ' <"/proc/$pid/cmdline") running" >&2
      kill "$pid"
      exit 1
    fi
  done
  echo "SIG$signal to the demo ($target): stopped with $code, nothing left running."
done
