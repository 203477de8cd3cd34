# Shared by the *.test.sh scripts: a scratch folder removed on exit, the Wine
# runner, and upssim from the Linux build started in the background.
set -euo pipefail
: "${VARNEL_SOURCE_DIR:?} ${VARNEL_WINDOWS_BIN:?} ${VARNEL_HOST_BIN:?} ${VARNEL_WINE:?}"
[ -x "$VARNEL_HOST_BIN/upssim" ] || { echo "no upssim in $VARNEL_HOST_BIN: build the Linux side first" >&2; exit 1; }

scratch=$(mktemp -d)
upssim_pid=""
cleanup() {
  if [ -n "$upssim_pid" ]; then
    kill "$upssim_pid" 2>/dev/null || true
    wait "$upssim_pid" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
cd "$scratch"

# Runs a Windows program from the Windows build under Wine.
wine_run() {
  "$VARNEL_WINE" "$@"
}

# start_upssim UNITFILE [upssim options...]: serves the units in $scratch/units,
# journal in $scratch/journal.jsonl; returns once they all listen.
start_upssim() {
  local units=$1
  shift
  mkdir -p "$scratch/units"
  "$VARNEL_HOST_BIN/upssim" --dir "$scratch/units" --journal "$scratch/journal.jsonl" \
    --ready "$scratch/ready" "$@" "$units" >"$scratch/upssim.out" 2>&1 &
  upssim_pid=$!
  for _ in $(seq 1 500); do
    [ -f "$scratch/ready" ] && return 0
    kill -0 "$upssim_pid" 2>/dev/null || break
    sleep 0.01
  done
  echo "upssim did not start:" >&2
  cat "$scratch/upssim.out" >&2
  return 1
}
