# varnelctl.exe and linkhid.dll under Wine against a HID unit of the Linux
# upssim over loopback TCP: the scan lists the unit, apply writes the plan and
# every value lands in the unit (upssim's journal). Detection stays on
# throughout, so linkhid also walks Wine's HID interfaces (its virtual mouse and
# keyboard) through SetupAPI, must not crash there and must take neither for a UPS.
source "$(dirname "$0")/common.sh"

cat >units.ini <<'EOF'
[unit usb-ups]
protocol = hid
configuration = 0x0003
internal.count = 2
internal.type = 2
vendor = Simulated Power
product = SIM-2000 USB
EOF
start_upssim units.ini --hid-tcp
# shellcheck disable=SC1091
source "$scratch/ready"
[[ "$LINKHID_SIMULATORS_TCP" =~ ^127\.0\.0\.1:[0-9]+$ ]] || {
  echo "no loopback address in the ready file: $LINKHID_SIMULATORS_TCP" >&2
  exit 1
}
export LINKHID_SIMULATORS="$LINKHID_SIMULATORS_TCP"
export LINKSERIAL_DETECT=0
unset LINKHID_DETECT LINKSERIAL_PORTS

cp "$VARNEL_SOURCE_DIR/dist/varnelstrings.en" "$VARNEL_SOURCE_DIR/dist/sample-batterydata.xml" .
# The shipped pauses would stretch the run to minutes; the unit answers at once.
cat >varnel.ini <<'EOF'
locale.name = English
locale.strings = en
hid.post.read.sleep = 1
hid.post.write.sleep = 1
serial.post.read.sleep = 1
serial.post.write.sleep = 1
EOF
ctl="$VARNEL_WINDOWS_BIN/varnelctl.exe"

wine_run "$ctl" scan >scan.out 2>scan.err || {
  echo "scan failed:" >&2
  cat scan.err >&2
  exit 1
}
listed=$(tr -d '\r' <scan.out) # a Windows program's lines end in CRLF
expected="1  '$LINKHID_SIMULATORS'  Simulated Power : SIM-2000 USB  internal 2 of type 2  external 0  configuration 0x03"
if [ "$listed" != "$expected" ]; then
  printf 'scan listed:\n%s\nexpected only:\n%s\n' "$listed" "$expected" >&2
  exit 1
fi

status=0
wine_run "$ctl" apply --yes --json --data sample-batterydata.xml --unit 1 --pack 4=1 >apply.json 2>apply.err || status=$?
if [ "$status" -ne 0 ]; then
  echo "apply exited with $status:" >&2
  cat apply.err >&2
  exit 1
fi

# Each value of the plan written exactly once, in table order, and stored as asked.
/usr/bin/python3 - apply.json "$scratch/journal.jsonl" <<'EOF'
import json
import sys

doc = json.load(open(sys.argv[1]))
assert doc["saved"] is True and doc["validated"] is True and doc["exitCode"] == 0, doc
planned = doc["planned"]
assert planned["externalBatteryCount"] == 8, planned

writes = [json.loads(line) for line in open(sys.argv[2])]
writes = [w for w in writes if w["event"] == "write" and w["unit"] == "usb-ups"]
for w in writes:
    assert w["stored"] == w["value"], w
values = [w for w in writes if not w["field"].endswith("Index")]
tables = {"batteryTable": [], "cTable": []}
singles = {}
for w in values:
    if w["field"] in tables:
        tables[w["field"]].append((w["index"], w["value"]))
    else:
        singles.setdefault(w["field"], []).append(w["value"])

def table(name):
    entries = tables[name]
    assert [i for i, _ in entries] == list(range(len(entries))), (name, entries)
    return [v for _, v in entries]

got = {
    "externalBatteryCount": singles.get("externalBatteryCount"),
    "cTableHighB": singles.get("cTableHighB"),
    "batteryTableValues": table("batteryTable"),
    "cTableValues": table("cTable"),
}
want = {
    "externalBatteryCount": [planned["externalBatteryCount"]],
    "cTableHighB": [planned["cTableHighB"]],
    "batteryTableValues": planned["batteryTableValues"],
    "cTableValues": planned["cTableValues"],
}
assert got == want, (got, want)
EOF
echo "hid: scan and apply through linkhid.dll over loopback TCP passed"
