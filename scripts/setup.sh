#!/usr/bin/env bash
# Installs every Debian package kestrel needs to build and test, then configures
# and builds it in ./build. Safe to run again: installed packages are skipped.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++ cmake make libcli11-dev nlohmann-json3-dev libboost-dev googletest libgtest-dev
          python3 python3-pytest unzip zip curl util-linux)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
