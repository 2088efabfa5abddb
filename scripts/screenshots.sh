#!/usr/bin/env bash
# Takes the README's screenshots again into docs/screenshots: every window and box at 1x, and
# the window after a PASS at 2x, all on the offscreen platform (no display needed).
# Usage: scripts/screenshots.sh [BUILD_DIR]   (default build/debug, configured already)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/debug}
out=$PWD/docs/screenshots
cmake --build "$build" -j2 --target tarnel-screenshots
mkdir -p "$out"
export QT_QPA_PLATFORM=offscreen
"$build/tarnel-screenshots" "$out"
QT_SCALE_FACTOR=2 "$build/tarnel-screenshots" "$out"
echo "screenshots written to $out"
