#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine (as root).
#   scripts/install-deps.sh           the build, the tests and the benchmarks
#   scripts/install-deps.sh --demo    only what the module and the tool need
#   scripts/install-deps.sh --cross   also the i386 and arm64 cross toolchains,
#                                     qemu-user, debootstrap and lintian
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/on-error.sh"
# The module and the g729a tool (scripts/demo.sh).
demo_packages=(
  g++ make cmake pkg-config
  libsndfile1-dev libsoxr-dev libpcap-dev libcli11-dev nlohmann-json3-dev
)
packages=(
  "${demo_packages[@]}" build-essential python3 git
  libgtest-dev libgmock-dev libbenchmark-dev
  # The peer codecs scripts/peer-bench.sh measures ours against; without them
  # only that benchmark is left out.
  libopus-dev libspeex-dev libgsm1-dev
  clang
  # The sanitizer and libFuzzer runtimes of clang: only a recommendation of
  # clang's, which --no-install-recommends leaves out.
  libclang-rt-14-dev
  clang-format
  # The GStreamer plugin and its tests (gst-check is in libgstreamer1.0-dev);
  # good carries RTP packetisation only. Never the libav plugin or codec packs.
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
)
[[ " $* " == *" --demo "* ]] && packages=("${demo_packages[@]}")

updated=0
# Installs those of the given packages that are missing, in one request.
install_missing() {
  local p missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  export DEBIAN_FRONTEND=noninteractive
  ((updated)) || { apt-get update && updated=1; }
  apt-get install -y --no-install-recommends "${missing[@]}"
}
install_missing "${packages[@]}"

# Cross builds (i386 and arm64 presets, run under qemu-user) and the package
# test. apt's resolver on these machines refuses some of the meta packages
# when they come in one request, so each is installed on its own, after
# what it depends on. Not gcc-multilib/g++-multilib: they conflict with the
# AArch64 cross compiler (the i386 toolchain file provides what they add).
# Only with --cross.
[[ " $* " == *" --cross "* ]] || exit 0
cross_packages=(
  file qemu-user debootstrap lintian
  gcc-12-multilib g++-12-multilib
  gcc-12-aarch64-linux-gnu g++-12-aarch64-linux-gnu gcc-aarch64-linux-gnu g++-aarch64-linux-gnu
)
for p in "${cross_packages[@]}"; do
  install_missing "$p"
done
