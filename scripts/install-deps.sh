#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine (as root).
set -euo pipefail
packages=(
  build-essential cmake python3 git pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libsndfile1-dev libsoxr-dev libpcap-dev libcli11-dev
  clang
  clang-format
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
