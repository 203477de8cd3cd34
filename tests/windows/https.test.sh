#!/usr/bin/env bash
# varnelctl.exe downloads over https under Wine from nginx as installed on a
# loopback port of the build machine: OpenSSL cross-built for Windows, the
# test CA given through SSL_CERT_FILE as a company would give its own. A good
# download is the file as served; an expired certificate is refused with its
# reason and leaves the earlier copy.
. "$(dirname "$0")/common.sh"

good_port=$(free_port)
expired_port=$(free_port)
"$VARNEL_SOURCE_DIR/tests/net/tls-certs.sh" "$scratch/certs"
mkdir -p www run
cp "$VARNEL_SOURCE_DIR/dist/sample-batterydata.xml" www/packs.xml

site() {
  echo "server { listen 127.0.0.1:$1 ssl; ssl_certificate $scratch/certs/$2.pem;" \
    "ssl_certificate_key $scratch/certs/$2.key; root $scratch/www; }"
}
start_nginx "$good_port" "$(site "$good_port" good)" "$(site "$expired_port" expired)"
wait_for_port "$expired_port"

cd run
cp "$VARNEL_SOURCE_DIR/dist/varnelstrings.en" .
settings() {
  sed "s|^http.server =.*|http.server = https://localhost:$1|; s|^http.file =.*|http.file = packs.xml|" \
    "$VARNEL_SOURCE_DIR/dist/varnel.ini" >varnel.ini
}
export SSL_CERT_FILE="Z:$scratch/certs/ca.pem"

settings "$good_port"
status=0
timeout 60 "$VARNEL_WINE" "$VARNEL_WINDOWS_BIN/varnelctl.exe" packs --data http --json >good.out 2>good.err ||
  status=$?
[ "$status" -eq 0 ] || { echo "https download failed ($status):" >&2; cat good.err varnel.log >&2; exit 1; }
cmp packs.xml ../www/packs.xml || { echo "the saved copy differs from the file served" >&2; exit 1; }
digest=$(sha256sum ../www/packs.xml | cut -d' ' -f1)
grep -q "\"fileSha256\":\"$digest\"" good.out || { echo "no SHA-256 in the JSON:" >&2; cat good.out >&2; exit 1; }

echo "the previous copy" >packs.xml
settings "$expired_port"
status=0
timeout 60 "$VARNEL_WINE" "$VARNEL_WINDOWS_BIN/varnelctl.exe" packs --data http >expired.out 2>expired.err ||
  status=$?
[ "$status" -ne 0 ] || { echo "an expired certificate was accepted" >&2; exit 1; }
grep -q "certificate expired" expired.err || { echo "no reason shown:" >&2; cat expired.err >&2; exit 1; }
grep -q "certificate expired" varnel.log || { echo "no reason logged:" >&2; cat varnel.log >&2; exit 1; }
[ "$(cat packs.xml)" = "the previous copy" ] || { echo "the previous copy was replaced" >&2; exit 1; }
echo "https under Wine: good download and expired certificate as expected"
