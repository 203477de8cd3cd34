# shellcheck shell=bash
# Starting the UPS simulator, shared by the scripts that need simulated units. Sourced.

# varnel_start_upssim PROGRAM READY OUTPUT [upssim arguments...]
#   Starts PROGRAM (an upssim) in the background with `--ready READY` and the
#   arguments, its output into the file OUTPUT (empty: the caller's own), and
#   sets upssim_pid. Returns once READY is written. When the simulator ends or
#   is not ready within 10 s, it is stopped, its output shown (from OUTPUT) and
#   the result is 1 with upssim_pid empty. The exports in READY are the
#   caller's to take (eval "$(grep '^export ' READY)").
varnel_start_upssim() {
  local program=$1 ready=$2 output=$3
  shift 3
  rm -f "$ready"
  if [ -n "$output" ]; then
    "$program" --ready "$ready" "$@" >"$output" 2>&1 &
  else
    "$program" --ready "$ready" "$@" &
  fi
  upssim_pid=$!
  local _
  for _ in $(seq 200); do
    [ -s "$ready" ] && return 0
    kill -0 "$upssim_pid" 2>/dev/null || break
    sleep 0.05
  done
  kill "$upssim_pid" 2>/dev/null || true
  wait "$upssim_pid" 2>/dev/null || true
  upssim_pid=""
  if [ -n "$output" ]; then cat "$output" >&2; fi
  return 1
}
