#!/usr/bin/env bash
# Cross-builds tarnel.exe and the unit, protocol and Win32 port test suites for Windows with
# mingw-w64 and runs them under Wine, then one production cycle of tarnel.exe against the
# Linux tarnel-sim: Wine reaches a COM port through a link in its dosdevices folder, and the
# link points at the simulator's pseudo-terminal.
#   scripts/windows-test.sh [HOST_BUILD_DIR]
# HOST_BUILD_DIR (default build/release) is a Linux build holding tarnel-partgen and tarnel-sim.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
host=$root/${1:-build/release}
build=$root/build/windows

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DTARNEL_WERROR=ON -DTARNEL_BUILD_GUI=OFF -DTARNEL_BUILD_BENCH=OFF \
  -DTARNEL_HOST_PARTGEN="$host/tarnel-partgen" >/dev/null
cmake --build "$build" -j "$(nproc)" --target tarnel unit_tests protocol_tests win32_tests

scratch=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT

export WINEPREFIX=$scratch/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# One persistent server for every run, its own output (an object dump when it is stopped)
# kept out of the log.
mkdir -p "$WINEPREFIX"
wineserver --persistent >/dev/null 2>&1
wineboot --init >/dev/null 2>&1
dosdevices=$WINEPREFIX/dosdevices

wait_for() { for _ in $(seq 100); do [ -e "$1" ] && return 0; sleep 0.1; done; echo "no $1" >&2; return 1; }

echo "== unit and protocol suites under Wine"
wine "$build/tests/unit_tests.exe" --gtest_brief=1
wine "$build/tests/protocol_tests.exe" --gtest_brief=1

echo "== Win32 port on two pseudo-terminals joined back to back (COM3, COM4)"
socat pty,raw,echo=0,link="$scratch/line-a" pty,raw,echo=0,link="$scratch/line-b" &
pids+=($!)
wait_for "$scratch/line-a"
wait_for "$scratch/line-b"
ln -sfn "$scratch/line-a" "$dosdevices/com3"
ln -sfn "$scratch/line-b" "$dosdevices/com4"
TARNEL_TEST_COM_A=COM3 TARNEL_TEST_COM_B=COM4 wine "$build/tests/win32_tests.exe" --gtest_brief=1

echo "== tarnel.exe against tarnel-sim on COM5"
"$host/src/sim/tarnel-sim" firmware --out "$scratch/firmware" >/dev/null
"$host/src/sim/tarnel-sim" serve --scenario examples/single_programmer.json \
  --link "$scratch/programmer" >/dev/null &
pids+=($!)
wait_for "$scratch/programmer"
ln -sfn "$scratch/programmer" "$dosdevices/com5"
cp examples/sample_aprom.hex "$scratch/"
(
  cd "$scratch"  # Wine runs the program in Z:\ + this directory, so relative paths work
  tarnel=("wine" "$build/src/cli/tarnel.exe" --port COM5 --firmware-dir firmware)
  "${tarnel[@]}" project save sample.TPJ --part QM400 --aprom sample_aprom.hex --serial 1000 \
    --serial-address 7F0
  "${tarnel[@]}" download --project sample.TPJ --no-gang
  "${tarnel[@]}" update --project sample.TPJ --no-gang | tee update.out
  grep -q PASS update.out
)
echo "Windows build under Wine: passed"
