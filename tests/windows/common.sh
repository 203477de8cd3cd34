# Shared by the *.test.sh scripts: a scratch folder removed on exit, the Wine
# runner, and upssim from the Linux build started in the background.
set -euo pipefail
: "${VARNEL_SOURCE_DIR:?} ${VARNEL_WINDOWS_BIN:?} ${VARNEL_HOST_BIN:?} ${VARNEL_WINE:?}"
. "$VARNEL_SOURCE_DIR/scripts/upssim.sh"
[ -x "$VARNEL_HOST_BIN/upssim" ] || { echo "no upssim in $VARNEL_HOST_BIN: build the Linux side first" >&2; exit 1; }

scratch=$(mktemp -d)
upssim_pid=""
# Servers and other helpers a script starts; stopped on exit.
background_pids=()
cleanup() {
  local pid
  for pid in $upssim_pid "${background_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
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
  varnel_start_upssim "$VARNEL_HOST_BIN/upssim" "$scratch/ready" "$scratch/upssim.out" --dir "$scratch/units" \
    --journal "$scratch/journal.jsonl" "$@" "$units" || { echo "upssim did not start (its output above)" >&2; return 1; }
}

# wait_for_port PORT: true once something listens on the loopback port (10 s at most).
wait_for_port() {
  local port=$1
  for _ in $(seq 1 200); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
    sleep 0.05
  done
  echo "nothing listens on port $port" >&2
  return 1
}

# free_port: a loopback port nothing listens on now.
free_port() {
  /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# start_nginx PORT SERVER...: nginx as installed, every file of its own in
# $scratch/nginx, with the given server blocks; returns once PORT listens.
start_nginx() {
  local port=$1 user=""
  shift
  [ "$(id -u)" -eq 0 ] && user="user root;"
  mkdir -p "$scratch/nginx"
  {
    echo "daemon off; $user"
    echo "worker_processes 1;"
    echo "pid $scratch/nginx/nginx.pid;"
    echo "error_log $scratch/nginx/error.log;"
    echo "events { worker_connections 64; }"
    echo "http {"
    echo "  access_log off;"
    local temp
    for temp in client_body proxy fastcgi uwsgi scgi; do echo "  ${temp}_temp_path $scratch/nginx/$temp;"; done
    printf '  %s\n' "$@"
    echo "}"
  } >"$scratch/nginx/nginx.conf"
  /usr/sbin/nginx -p "$scratch/nginx" -c "$scratch/nginx/nginx.conf" >"$scratch/nginx/out" 2>&1 &
  background_pids+=($!)
  wait_for_port "$port" || { cat "$scratch/nginx/out" "$scratch/nginx/error.log" >&2; return 1; }
}
