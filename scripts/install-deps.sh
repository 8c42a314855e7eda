#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine (as root);
# --cross adds the i386 and arm64 cross toolchains, qemu-user and debootstrap.
set -euo pipefail
packages=(
  build-essential cmake python3 git pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  # The peer codecs scripts/peer-bench.sh measures ours against; without them
  # only that benchmark is left out.
  libopus-dev libspeex-dev libgsm1-dev
  libsndfile1-dev libsoxr-dev libpcap-dev libcli11-dev nlohmann-json3-dev
  clang
  # The sanitizer and libFuzzer runtimes of clang: only a recommendation of
  # clang's, which --no-install-recommends leaves out.
  libclang-rt-14-dev
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

# Cross builds (i386 and arm64 presets, run under qemu-user) and the package
# test. apt's resolver on these machines refuses some of the meta packages
# when they come in one request, so each is installed on its own, after
# what it depends on. Not gcc-multilib/g++-multilib: they conflict with the
# AArch64 cross compiler (the i386 toolchain file provides what they add).
# Only with --cross.
[[ " $* " == *" --cross "* ]] || exit 0
cross_packages=(
  file qemu-user debootstrap
  gcc-12-multilib g++-12-multilib
  gcc-12-aarch64-linux-gnu g++-12-aarch64-linux-gnu gcc-aarch64-linux-gnu g++-aarch64-linux-gnu
)
updated=$((${#missing[@]} > 0))
for p in "${cross_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" && continue
  export DEBIAN_FRONTEND=noninteractive
  ((updated)) || { apt-get update && updated=1; }
  apt-get install -y --no-install-recommends "$p"
done
