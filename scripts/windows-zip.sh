#!/usr/bin/env bash
# Packs the Windows build of the command line into a zip: tarnel.exe (linked statically, so
# it needs no DLLs), the firmware folder it searches after the working directory, and the
# README. Run scripts/windows-test.sh (or the same cross-build) first.
#   scripts/windows-zip.sh [WINDOWS_BUILD_DIR] [OUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/windows}
out=${2:-build}
exe=$build/src/cli/tarnel.exe
[ -f "$exe" ] || { echo "no $exe: cross-build first (scripts/windows-test.sh)" >&2; exit 1; }

version=$(sed -n 's/^project(Tarnel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=tarnel-$version-windows-x86_64
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/$name/firmware"
x86_64-w64-mingw32-strip -o "$stage/$name/tarnel.exe" "$exe"
cp packaging/firmware-README.txt "$stage/$name/firmware/README.txt"
cp README.md "$stage/$name/README.md"
mkdir -p "$out"
zip=$(cd "$out" && pwd)/$name.zip
rm -f "$zip"
(cd "$stage" && cmake -E tar cf "$zip" --format=zip "$name")
echo "$zip"
