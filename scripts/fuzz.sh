#!/usr/bin/env bash
# Builds the fuzz targets (clang's libFuzzer, AddressSanitizer and UBSan) and runs each on
# its committed seed corpus for a while. A finding stops the script with a non-zero status
# and leaves the input in build/fuzz/artifacts/.
#
#   scripts/fuzz.sh [seconds-per-fuzzer]      default: $TARNEL_FUZZ_SECONDS, else 60
#
# TARNEL_FUZZ_SEED fixes libFuzzer's random seed (CI sets it, so a run explores the same
# inputs every time and a red run is a finding that can be replayed); unset, each run differs.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-${TARNEL_FUZZ_SECONDS:-60}}
seed=${TARNEL_FUZZ_SEED:-0}
fuzzers=(hex project_file settings_file config_view programmer_reply isp_reply)

cmake --preset fuzz
cmake --build --preset fuzz -j "$(nproc)" --target "${fuzzers[@]/#/fuzz_}"

mkdir -p build/fuzz/artifacts
for name in "${fuzzers[@]}"; do
  # New inputs go to a working corpus under build/; the committed seeds stay as they are.
  work=build/fuzz/corpus/$name
  mkdir -p "$work"
  echo "== fuzz_$name for ${seconds}s"
  build/fuzz/fuzz/fuzz_"$name" -max_total_time="$seconds" -seed="$seed" -timeout=20 \
    -rss_limit_mb=2560 \
    -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/"$name"- \
    "$work" fuzz/corpus/"$name"
done
