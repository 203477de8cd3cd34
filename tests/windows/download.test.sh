#!/usr/bin/env bash
# The download through Winsock: nginx and pyftpdlib as installed, on loopback
# ports of the build machine, and the Windows varnelctl code fetching from both.
. "$(dirname "$0")/common.sh"

http_port=$(free_port)
ftp_port=$(free_port)
sample="$VARNEL_SOURCE_DIR/dist/sample-batterydata.xml"
mkdir -p www/data ftp/pub
cp "$sample" www/data/packs.xml
cp "$sample" ftp/pub/packs.xml

start_nginx "$http_port" "server { listen 127.0.0.1:$http_port; root $scratch/www; }"
/usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p "$ftp_port" -d "$scratch/ftp" >ftpd.out 2>&1 &
background_pids+=($!)
wait_for_port "$ftp_port" || { cat ftpd.out >&2; exit 1; }

VARNEL_TEST_HTTP_PORT=$http_port VARNEL_TEST_FTP_PORT=$ftp_port wine_run "$VARNEL_WINDOWS_BIN/winsock_download.exe"
