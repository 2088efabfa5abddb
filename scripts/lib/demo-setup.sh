# shellcheck shell=bash disable=SC2034
# The demos' common opening, sourced from the repository's root with one argument: builds
# tarnel and tarnel-sim (a release without tests or GUI) unless it is --no-build, names the two
# binaries ($tarnel, $sim), and makes a scratch directory ($work) that goes, with the simulator
# ($sim_pid), on exit.
root=$(pwd)
if [ "$1" != --no-build ]; then
  scripts/install-deps.sh
  cmake --preset release -DTARNEL_BUILD_TESTS=OFF -DTARNEL_BUILD_GUI=OFF >/dev/null
  cmake --build --preset release -j "$(nproc)" --target tarnel tarnel-sim
fi
tarnel="$root/build/release/src/cli/tarnel"
sim="$root/build/release/src/sim/tarnel-sim"

work=$(mktemp -d)
cleanup() {
  [ -n "${sim_pid:-}" ] && kill "$sim_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
