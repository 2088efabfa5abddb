#!/usr/bin/env bash
# A line of four simulated stations in one command: one tarnel-sim process serves two
# programmers, a gang programmer and an ISP-by-COM-Port socket (whose boot loader hands over
# three chips, one after another) on four pseudo-terminals; a line file names them; then
#
#   tarnel line check      every station's port answers and its programmer fits the part
#   tarnel line download   the projects go into the programmers, all at once
#   tarnel line run        three chips per station, started automatically, with the table
#   tarnel record summary  what the line's production record says
#
# For real stations, write the line file with their ports (/dev/serial/by-id/...) instead.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/demo-setup.sh "${1:---build}"
cd "$work"

# The four devices, each with its scenario.
cat >programmer.json <<'JSON'
{"device": "single", "kind": "ICP", "sockets": [{}],
 "deviceTime": {"storageClearMs": 400, "pageEraseMs": 5, "programTickMs": 3}}
JSON
cat >gang.json <<'JSON'
{"device": "gang", "sockets": [{}, {}, {}, {}]}
JSON
cat >socket.json <<'JSON'
{"device": "bootloader", "chips": [
  {"part": "QM114", "resetAfterProbes": 20},
  {"part": "QM114", "resetAfterProbes": 10},
  {"part": "QM114", "resetAfterProbes": 30}]}
JSON
"$sim" firmware --out firmware >/dev/null
"$sim" serve --paced --station programmer.json="$work/prog-1" \
  --station programmer.json="$work/prog-2" --station gang.json="$work/gang" \
  --station socket.json="$work/socket" >sim.out &
sim_pid=$!
for _ in $(seq 50); do [ "$(wc -l <sim.out)" -ge 4 ] && break; sleep 0.1; done
echo "Four simulated stations on: $(tr '\n' ' ' <sim.out)"

# One project per kind of station, each writing a serial number: on a line every number
# comes from the line's one ledger, whatever the project holds.
"$tarnel" project save single.TPJ --part QM400 --aprom "$root/examples/sample_aprom.hex" \
  --serial 1000 --serial-address 7F0 >/dev/null
"$tarnel" project save gang.TPJ --gang --part QK200 --aprom "$root/examples/sample_aprom.hex" \
  --serial 1000 --serial-address 7F0 >/dev/null
"$tarnel" project save socket.TPJ --type com --part QM114 \
  --aprom "$root/examples/sample_aprom.hex" --fast --serial 1000 --serial-address 7F0 >/dev/null

cat >line.json <<JSON
{
  "stations": [
    {"name": "prog-1", "kind": "programmer", "port": "$work/prog-1", "project": "single.TPJ"},
    {"name": "prog-2", "kind": "programmer", "port": "$work/prog-2", "project": "single.TPJ"},
    {"name": "gang", "kind": "programmer", "port": "$work/gang", "project": "gang.TPJ"},
    {"name": "socket", "kind": "isp", "port": "$work/socket", "project": "socket.TPJ"}
  ],
  "ledger": "serials.ledger",
  "record": "records",
  "serial": {"first": "1000", "increment": "1"}
}
JSON
echo
echo "== line.json"
cat line.json

run() {
  echo
  echo "== tarnel $*"
  "$tarnel" --firmware-dir "$work/firmware" "$@"
}
run line check line.json
run line download line.json
run line run line.json --chips 3 --auto </dev/null
echo
echo "== tarnel record summary (the line's record)"
"$tarnel" --workdir "$work/records" record summary
