#!/usr/bin/env bash
# Installs dependencies, builds Tarnel and runs every test suite: the debug build, the same
# tests under AddressSanitizer and UBSan, and the release build (as shipped, GCC's -O3
# warnings included); the unit, protocol and end-to-end suites under ThreadSanitizer; a short
# run of every fuzzer; then the Debian package is built, installed and checked, and the
# Windows build is cross-compiled and tested under Wine (scripts/windows-zip.sh packs it).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

# A throwaway PostgreSQL server for the line's database tests, stopped on every way out.
# The tests skip only when TARNEL_TEST_PG is unset, so a server that does not start fails
# the run here instead.
pg_dir=$(mktemp -d /tmp/tarnel-pg.XXXXXX)
trap 'scripts/pg-test-server.sh stop "$pg_dir"' EXIT
TARNEL_TEST_PG=$(scripts/pg-test-server.sh start "$pg_dir")
TARNEL_TEST_PG_RESTART="$PWD/scripts/pg-test-server.sh restart $pg_dir"
export TARNEL_TEST_PG TARNEL_TEST_PG_RESTART

for preset in debug asan release; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  test -x "build/$preset/tests/linedb_tests"  # built only when libpq was found
  ctest --preset "$preset" -j "$jobs"
done

# ThreadSanitizer: no GUI (Qt from the distribution is not instrumented); only the test
# suites and the binaries the end-to-end tests run are built.
cmake --preset tsan
cmake --build --preset tsan -j "$jobs" --target unit_tests protocol_tests e2e_tests linedb_tests \
  tarnel-ledger-drawer tarnel tarnel-sim
ctest --preset tsan -j "$jobs"

# Every fuzzer, briefly and from a fixed seed; scripts/fuzz.sh alone runs them longer.
TARNEL_FUZZ_SEED=${TARNEL_FUZZ_SEED:-1} TARNEL_FUZZ_SECONDS=${TARNEL_FUZZ_SECONDS:-25} scripts/fuzz.sh

scripts/package-check.sh build/release
scripts/windows-test.sh build/release
scripts/windows-zip.sh build/windows build
