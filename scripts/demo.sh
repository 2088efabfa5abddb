#!/usr/bin/env bash
# Tarnel's main job on a fresh machine: install, build, then run one production cycle against
# the simulated programmer on a pseudo-terminal (or against real hardware: set TARNEL_PORTS
# or pass --port to the tarnel commands below and leave the simulator out).
#
#   download the sample project into the programmer, update the chip (with its serial
#   number), verify it, read it back, and show what the programmer holds.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/demo-setup.sh --build

"$sim" firmware --out "$work/firmware" >/dev/null
"$sim" serve --paced --scenario examples/single_programmer.json --link "$work/programmer" >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
echo "Simulated programmer on $(head -n1 "$work/sim.out")"

export TARNEL_PORTS="$work/programmer"
run() {
  echo
  echo "== tarnel $*"
  "$tarnel" --workdir "$work" --firmware-dir "$work/firmware" "$@"
}

run project save "$work/sample.TPJ" --part QM400 --aprom examples/sample_aprom.hex \
    --serial 1000 --serial-address 7F0
run project show "$work/sample.TPJ"
run download --project "$work/sample.TPJ" --no-gang
run update --project "$work/sample.TPJ" --no-gang
run update --project "$work/sample.TPJ" --no-gang --quiet
run verify --project "$work/sample.TPJ" --no-gang
run read --project "$work/sample.TPJ" --no-gang --out "$work/read"
run info --project "$work/sample.TPJ" --no-gang
echo
echo "Read back: $(ls "$work/read")"
run record summary
run update --project "$work/sample.TPJ" --no-gang --json
