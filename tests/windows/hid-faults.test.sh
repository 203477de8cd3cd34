# linkhid.dll under Wine against HID units that answer nothing or garbage over
# loopback TCP: the scan waits once per silent unit, drops each broken peer,
# finds no UPS and says so; no crash, no hang.
source "$(dirname "$0")/common.sh"

cat >units.ini <<'EOF_UNITS'
[unit quiet]
protocol = hid
fault = silent
[unit noise]
protocol = hid
fault = random
fault.seed = 7
EOF_UNITS
start_upssim units.ini --hid-tcp
# shellcheck disable=SC1091
source "$scratch/ready"
export LINKHID_SIMULATORS="$LINKHID_SIMULATORS_TCP" LINKHID_DETECT=0 LINKSERIAL_DETECT=0
unset LINKSERIAL_PORTS

cp "$VARNEL_SOURCE_DIR/dist/varnelstrings.en" .
printf 'locale.name = English\nlocale.strings = en\nhid.post.read.sleep = 1\nhid.post.write.sleep = 1\n' >varnel.ini

status=0
started=$SECONDS
timeout 60 "$VARNEL_WINE" "$VARNEL_WINDOWS_BIN/varnelctl.exe" scan >scan.out 2>scan.err || status=$?
elapsed=$((SECONDS - started))
if [ "$status" -ne 3 ] || ! grep -q "no UPS that supports external battery packs was found" scan.err; then
  echo "scan exited with $status (3 expected, no unit found):" >&2
  cat scan.out scan.err >&2
  exit 1
fi
# One reply timeout (3 s) for the silent unit, nothing more: a dropped peer fails at once.
if [ "$elapsed" -gt 20 ]; then
  echo "scan took ${elapsed} s" >&2
  exit 1
fi
# Both units were reached, so the failures are theirs and not the connection's.
/usr/bin/python3 - "$scratch/journal.jsonl" <<'EOF_PY'
import json
import sys

asked = {json.loads(line)["unit"] for line in open(sys.argv[1]) if '"event":"request"' in line}
assert asked == {"quiet", "noise"}, asked
EOF_PY
echo "hid-faults: silent and garbage units over loopback TCP failed cleanly in ${elapsed} s"
