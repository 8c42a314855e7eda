#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: the optimised build, then the
# unoptimised build under AddressSanitizer and UndefinedBehaviorSanitizer
# (which also shows the results do not depend on the optimisation level),
# then the conformance report of the published test sequences.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
for preset in release sanitize; do
  echo "=== $preset build ==="
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  echo "=== $preset tests ==="
  ctest --preset "$preset"
done
vectors=../shared/testvectors
if [ -d "$vectors" ]; then
  echo "=== conformance report (SNR against the published decoder and chain) ==="
  build/release/g729a conformance "$vectors"
else
  echo "=== conformance report skipped: $vectors not found ==="
fi
