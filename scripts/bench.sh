#!/usr/bin/env bash
# The wire-speed benchmark (bench/wire_speed.cpp): download, update, verify and read of a
# 128 KiB image and an ISP-by-COM-Port update of 64 KiB against the paced simulator, each as
# measured / protocol model with the host's CPU, then hex2bin against objcopy. Builds a
# release first. --quick runs small images, for a smoke test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >/dev/null
cmake --preset release -DTARNEL_BUILD_TESTS=OFF -DTARNEL_BUILD_GUI=OFF -DTARNEL_BUILD_BENCH=ON \
  >/dev/null
cmake --build --preset release -j "$(nproc)" --target tarnel wire_speed >/dev/null
echo "load before: $(uptime)"
build/release/bench/wire_speed build/release/src/cli/tarnel "$@"
echo "load after:  $(uptime)"
