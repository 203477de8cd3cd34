# linkserial.dll under Wine: varnelctl.exe scans and updates a framed and a
# text unit of upssim through COM ports mapped onto their ptys, and every value
# written is checked in upssim's journal.
source "$(dirname "$0")/common.sh"

# A prefix of its own, beside the caller's: restarting the wineserver to pick
# up the mappings would kill whatever else runs in a shared one.
export WINEPREFIX="${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/varnel/wineprefix}-serial"
export WINEDEBUG=-all
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock -w 300 9

# Numbers no real machine or other test is likely to use.
framed_com=COM26
text_com=COM27

# Wine reads the mappings when its server starts.
restart_wine() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}
# map_ports FRAMED_TARGET TEXT_TARGET: "-" deletes a mapping.
map_ports() {
  printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n"%s"=%s\n"%s"=%s\n' \
    "$framed_com" "$1" "$text_com" "$2" >ports.reg
  wine_run regedit /S ports.reg
  restart_wine
}
# Wine leaves the device links of a deleted mapping behind, pointing at ptys
# that the next program to open one may own.
unmap_ports() {
  map_ports - - || true
  rm -f "$WINEPREFIX/dosdevices/${framed_com,,}" "$WINEPREFIX/dosdevices/${text_com,,}"
}
serial_cleanup() {
  unmap_ports
  cleanup
}
trap serial_cleanup EXIT

cat >units.ini <<'EOF'
[unit rack-ups]
protocol = framed
configuration = 0x0001
internal.count = 2
internal.type = 1
vendor = Simulated Power
product = SIM-3000 framed

[unit tower-ups]
protocol = text
configuration = 0x000D
internal.count = 4
internal.type = 3
c.highb = 4
vendor = Simulated Power
product = SIM-1500 text
EOF
start_upssim units.ini --pace-2400

map_ports "\"$(readlink "$scratch/units/rack-ups")\"" "\"$(readlink "$scratch/units/tower-ups")\""

cp "$VARNEL_SOURCE_DIR"/dist/{varnelstrings.en,sample-batterydata.xml} .
# No pauses of the technician's pace; the line's own time is still given.
cat "$VARNEL_SOURCE_DIR/dist/varnel.ini" - >varnel.ini <<'EOF'
serial.post.read.sleep = 0
serial.post.write.sleep = 0
EOF

export LINKSERIAL_DETECT=0 LINKHID_DETECT=0
unset LINKHID_SIMULATORS
ctl() {
  wine_run "$VARNEL_WINDOWS_BIN/varnelctl.exe" "$@"
}

# Version managers' wrappers take a second a start; resolve the interpreter once.
python=$(python3 -c 'import sys; print(sys.executable)')

# Checks one varnelctl --json document (file $1) against the journal: the
# units it lists, or for apply that unit $2 stored exactly the planned values
# and the units named after it none.
check() {
  "$python" - "$scratch/journal.jsonl" "$@" <<'EOF'
import json, sys

journal, doc_file, *units = sys.argv[1:]
doc = json.load(open(doc_file))
writes = {}
for line in open(journal):
    entry = json.loads(line)
    if entry["event"] == "write" and not entry["field"].endswith("Index"):
        writes.setdefault(entry["unit"], []).append(entry)
failures = []

if "planned" not in doc:
    listed = [(u["portName"], u["productName"]) for u in doc.get("units", [])]
    wanted = [("COM26", "SIM-3000 framed"), ("COM27", "SIM-1500 text")]
    if listed != wanted:
        failures.append(f"scan listed {listed}, not {wanted}")
    if writes:
        failures.append(f"the scan wrote {writes}")
else:
    unit, *untouched = units
    for key in ("saved", "validated"):
        if doc.get(key) is not True:
            failures.append(f"{key} is {doc.get(key)}")
    tables = {"batteryTable": {}, "cTable": {}}
    singles = {}
    for w in writes.get(unit, []):
        if w["stored"] != w["value"]:
            failures.append(f"{unit} stored {w['stored']} for {w['value']} ({w['field']})")
        if w["field"] in tables:
            if w["index"] in tables[w["field"]]:
                failures.append(f"{unit} {w['field']}[{w['index']}] written twice")
            tables[w["field"]][w["index"]] = w["stored"]
        else:
            singles.setdefault(w["field"], []).append(w["stored"])
    planned = doc["planned"]
    got = {
        "batteryTableValues": [tables["batteryTable"][i] for i in sorted(tables["batteryTable"])],
        "cTableValues": [tables["cTable"][i] for i in sorted(tables["cTable"])],
        "externalBatteryCount": singles.get("externalBatteryCount"),
        "cTableHighB": singles.get("cTableHighB"),
    }
    want = {
        "batteryTableValues": planned["batteryTableValues"],
        "cTableValues": planned["cTableValues"],
        "externalBatteryCount": [planned["externalBatteryCount"]],
        "cTableHighB": [planned["cTableHighB"]],
    }
    for key in want:
        if got[key] != want[key]:
            failures.append(f"{unit} {key}: journal {got[key]}, planned {want[key]}")
    for other in untouched:
        if writes.get(other):
            failures.append(f"{other} was written: {writes[other]}")

for failure in failures:
    print("FAIL:", failure, file=sys.stderr)
sys.exit(1 if failures else 0)
EOF
}

# Run one varnelctl command: its JSON on $1, its exit status checked.
run_json() {
  local out=$1
  shift
  local status=0
  ctl "$@" --json >"$out" 2>"$out.err" || status=$?
  if [ "$status" -ne 0 ]; then
    echo "varnelctl.exe $* exited with $status:" >&2
    cat "$out.err" "$out" "$scratch/upssim.out" >&2
    return 1
  fi
}

# One port under two spellings is probed once.
LINKSERIAL_PORTS="$framed_com;\\\\.\\${framed_com,,};$text_com" run_json scan.json scan
check scan.json

# Each apply names only its unit: scanning the other one again takes long.
LINKSERIAL_PORTS=$framed_com run_json framed.json apply --yes --data sample-batterydata.xml --unit 1 --pack 2=1
check framed.json rack-ups tower-ups
LINKSERIAL_PORTS=$text_com run_json text.json apply --yes --data sample-batterydata.xml --unit 1 --pack 6=2
check text.json tower-ups
# The framed unit's values stay as the first apply left them.
check framed.json rack-ups
echo "serial: scan and apply through linkserial.dll on $framed_com and $text_com"
