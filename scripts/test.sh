#!/usr/bin/env bash
# Installs dependencies, builds Tarnel and runs every test suite: the debug build, the same
# tests under AddressSanitizer and UBSan, and the release build (as shipped, GCC's -O3
# warnings included); then the Debian package is built, installed and checked, and the
# Windows build is cross-compiled and tested under Wine (scripts/windows-zip.sh packs it).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)
for preset in debug asan release; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
scripts/package-check.sh build/release
scripts/windows-test.sh build/release
scripts/windows-zip.sh build/windows build
