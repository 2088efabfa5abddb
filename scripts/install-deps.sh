#!/usr/bin/env bash
# Installs every Debian package Tarnel needs to build, test and run.
# Runs as root on CI; uses sudo otherwise.
set -euo pipefail

packages=(
  build-essential cmake g++ clang-format
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core
  dpkg-dev desktop-file-utils man-db
  g++-mingw-w64-x86-64-posix wine wine64 socat
  postgresql libpq-dev
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
