#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: the optimised build with the
# conformance report of the published test sequences, then the unoptimised
# build under AddressSanitizer and UndefinedBehaviorSanitizer (which also
# shows the results do not depend on the optimisation level).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build_and_test() {
  echo "=== $1 build ==="
  cmake --preset "$1" -DG729A_WERROR=ON
  cmake --build --preset "$1"
  echo "=== $1 tests ==="
  scripts/ctest-no-skips.sh --preset "$1"
}

build_and_test release
echo "=== conformance report (SNR against the published decoder and chain) ==="
build/release/g729a conformance tests/data/testvectors
build_and_test sanitize

# ThreadSanitizer over the tests that run channels and batch conversions on
# several threads (the preset builds and selects only those).
build_and_test tsan

# Fuzzing: every target builds with clang and runs briefly on its corpus.
scripts/fuzz-smoke.sh "${G729A_FUZZ_SECONDS:-30}"
