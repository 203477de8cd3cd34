#!/usr/bin/env bash
# The download through Winsock: nginx and pyftpdlib as installed, on loopback
# ports of the build machine, and the Windows varnelctl code fetching from both.
. "$(dirname "$0")/common.sh"

free_port() {
  /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
http_port=$(free_port)
ftp_port=$(free_port)
sample="$VARNEL_SOURCE_DIR/dist/sample-batterydata.xml"
mkdir -p www/data ftp/pub nginx
cp "$sample" www/data/packs.xml
cp "$sample" ftp/pub/packs.xml

user=""
[ "$(id -u)" -eq 0 ] && user="user root;"
cat >nginx/nginx.conf <<CONF
daemon off; $user
worker_processes 1;
pid $scratch/nginx/nginx.pid;
error_log $scratch/nginx/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $scratch/nginx/body;
  proxy_temp_path $scratch/nginx/proxy;
  fastcgi_temp_path $scratch/nginx/fastcgi;
  uwsgi_temp_path $scratch/nginx/uwsgi;
  scgi_temp_path $scratch/nginx/scgi;
  server { listen 127.0.0.1:$http_port; root $scratch/www; }
}
CONF
/usr/sbin/nginx -p "$scratch/nginx" -c "$scratch/nginx/nginx.conf" >nginx/out 2>&1 &
background_pids+=($!)
/usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p "$ftp_port" -d "$scratch/ftp" >ftpd.out 2>&1 &
background_pids+=($!)
wait_for_port "$http_port" || { cat nginx/out nginx/error.log >&2; exit 1; }
wait_for_port "$ftp_port" || { cat ftpd.out >&2; exit 1; }

VARNEL_TEST_HTTP_PORT=$http_port VARNEL_TEST_FTP_PORT=$ftp_port wine_run "$VARNEL_WINDOWS_BIN/winsock_download.exe"
