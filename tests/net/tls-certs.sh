#!/bin/sh
# Makes the certificates of the TLS tests in DIR: a test CA; server
# certificates for localhost and 127.0.0.1 signed by it (good), one that
# expired, one for another name; and one signed by a CA nobody trusts.
set -eu
dir=$1
mkdir -p "$dir"
cd "$dir"
ossl() { openssl "$@" 2>/dev/null; }
ca() {
  ossl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 30 -subj "/CN=$2"
}
ca ca "Varnel Test CA"
ca rogue "Rogue CA"
mkdir -p db
: > db/index.txt
echo 1000 > db/serial
cat > ca.cnf <<CNF
[ca]
default_ca = test
[test]
dir = .
database = db/index.txt
serial = db/serial
new_certs_dir = db
default_md = sha256
policy = any
copy_extensions = copy
unique_subject = no
[any]
commonName = supplied
CNF
# NAME SIGNER SAN [START END]
server() {
  ossl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$1" -addext "subjectAltName=$3"
  if [ $# -gt 3 ]; then
    ossl ca -batch -config ca.cnf -cert "$2.pem" -keyfile "$2.key" -in "$1.csr" -out "$1.pem" \
      -startdate "$4" -enddate "$5"
  else
    ossl ca -batch -config ca.cnf -cert "$2.pem" -keyfile "$2.key" -in "$1.csr" -out "$1.pem" -days 30
  fi
}
server good ca "DNS:localhost,IP:127.0.0.1"
server expired ca "DNS:localhost,IP:127.0.0.1" 20200101000000Z 20210101000000Z
server wronghost ca "DNS:other.example"
server untrusted rogue "DNS:localhost,IP:127.0.0.1"
