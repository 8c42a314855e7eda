#!/usr/bin/env bash
# Builds the codec, the module and their tests for 32-bit x86 (SSE2) and
# 64-bit ARM and runs them under qemu-user: every golden bitstream and decoded
# output must come out bit for bit as on x86-64. The tool stays x86-64 only.
# Usage: scripts/cross-test.sh [i386] [arm64]   (default: both)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/on-error.sh"
cd "$(dirname "$0")/.."
scripts/install-deps.sh --cross
presets=("$@")
((${#presets[@]})) || presets=(i386 arm64)

for preset in "${presets[@]}"; do
  start=$SECONDS
  echo "=== $preset build ==="
  cmake --preset "$preset" -DG729A_WERROR=ON
  cmake --build --preset "$preset"
  echo "=== $preset tests ==="
  scripts/ctest-no-skips.sh --preset "$preset"
  if [ "$preset" = i386 ]; then
    # The 32-bit build has the vector paths too: each on its own must
    # reproduce every golden file (AArch64 has the scalar path only); the
    # differential tests go over every path themselves.
    for path in scalar sse2 avx2; do
      echo "=== $preset conformance tests on the $path path ==="
      G729A_SIMD=$path scripts/ctest-no-skips.sh --preset "$preset" \
        -R 'Sequences/|Conformance|SimdPaths|Runaway|StateGuard|Concealment|MissingFrame' \
        -E '^Differential\.'
    done
  fi
  echo "=== $preset: $((SECONDS - start)) s ==="
done
