#!/usr/bin/env bash
# Tarnel's main job on a fresh machine: install, build (release), then show what the
# command line does with the chip catalogue.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release -DTARNEL_BUILD_TESTS=OFF >/dev/null
cmake --build --preset release -j "$(nproc)" --target tarnel
tarnel=build/release/src/cli/tarnel

echo "== tarnel parts --family Vexa_Wren"
"$tarnel" parts --family Vexa_Wren
echo
echo "== tarnel part QM414"
"$tarnel" part QM414
