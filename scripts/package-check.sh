#!/usr/bin/env bash
# Builds the Debian package from a release build and checks it the way a user meets it:
# installed (with dpkg as root, else unpacked into a scratch prefix), the programs run from
# the installed paths, the man pages render and the desktop entry validates.
#   scripts/package-check.sh [BUILD_DIR]     (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/tarnel_*.deb | head -n 1)
echo "package: $deb"
dpkg-deb --field "$deb" Package Version Depends

scratch=$(mktemp -d)
installed_by_dpkg=no
sim_pid=
fwdir=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  [ -n "$fwdir" ] && rm -f "$fwdir"/*.DAT
  if [ "$installed_by_dpkg" = yes ]; then dpkg --remove tarnel >/dev/null; fi
  rm -rf "$scratch"
}
trap cleanup EXIT

if [ "$(id -u)" -eq 0 ] && [ "${CI:-}" = true ]; then
  # dpkg refuses the package when a dependency it declares is missing.
  dpkg --install "$deb"
  installed_by_dpkg=yes
  root=/
else
  dpkg-deb --extract "$deb" "$scratch/root"
  root=$scratch/root
  # Every declared dependency must be satisfied on this machine.
  for dep in $(dpkg-deb --field "$deb" Depends | tr ',' '\n' | sed 's/[ (].*//; /^$/d'); do
    dpkg-query -W -f='${Status}' "$dep" 2>/dev/null | grep -q "install ok installed" ||
      { echo "dependency not installed: $dep" >&2; exit 1; }
  done
fi
bin=$root/usr/bin
share=$root/usr/share

"$bin/tarnel" --version
"$bin/tarnel" parts | head -n 3
(cd "$scratch" && "$bin/tarnel-sim" firmware --out fw && ls fw | head -n 3)
QT_QPA_PLATFORM=offscreen "$bin/tarnel-gui" --help | head -n 3
test -f "$share/tarnel/firmware/README"
test -f "$share/tarnel/udev/70-tarnel-usb-serial.rules"
test -f "$share/icons/hicolor/scalable/apps/tarnel.svg"
desktop-file-validate "$share/applications/tarnel-gui.desktop"
for page in tarnel tarnel-sim; do
  man --warnings -l "$share"/man/man1/"$page".1* 2>"$scratch/man.err" | grep -q "COMMANDS\|DESCRIPTION"
  if [ -s "$scratch/man.err" ]; then cat "$scratch/man.err" >&2; exit 1; fi
done
# Firmware in the installed directory is found from any working directory.
fwdir=$share/tarnel/firmware
cp "$scratch"/fw/*.DAT "$fwdir/"
"$bin/tarnel-sim" serve --scenario examples/single_programmer.json --link "$scratch/prog" >/dev/null &
sim_pid=$!
for _ in $(seq 100); do [ -e "$scratch/prog" ] && break; sleep 0.1; done
mkdir "$scratch/elsewhere"
(cd "$scratch/elsewhere" && TARNEL_PORTS="$scratch/prog" "$bin/tarnel" fw-update) | tee "$scratch/fw.out"
grep -q "PASS: Programmer's firmware is successfully updated" "$scratch/fw.out"
echo "package check: passed"
