#!/usr/bin/env bash
# The line benchmark (bench/line_speed.cpp): 1, 2 and 4 simulated programmers on paced
# pseudo-terminals run by `tarnel line run --chips N --auto`; chips per hour, the host's CPU,
# and the 4-station / 1-station ratio. Builds a release first. Options go to line_speed
# (--chips N per station, default 40: a few minutes in all; --stations 1,2,4).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >/dev/null
cmake --preset release -DTARNEL_BUILD_TESTS=OFF -DTARNEL_BUILD_GUI=OFF -DTARNEL_BUILD_BENCH=ON \
  >/dev/null
cmake --build --preset release -j "$(nproc)" --target tarnel tarnel-sim line_speed >/dev/null
echo "load before: $(uptime)"
build/release/bench/line_speed build/release/src/cli/tarnel build/release/src/sim/tarnel-sim "$@"
echo "load after:  $(uptime)"
