#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite:
# - the optimised build, its tests and the conformance report of the published
#   test sequences, the conformance tests again on every vector path, and a
#   short benchmark run;
# - the unoptimised build under AddressSanitizer and UndefinedBehaviorSanitizer
#   (which also shows the results do not depend on the optimisation level);
# - ThreadSanitizer over the tests that run channels on several threads;
# - every fuzz target, briefly, on its corpus;
# - the codec, module and conformance tests built for i386 and arm64;
# - the Debian packages installed into a fresh Debian 12 root.
# Any failed or skipped test fails the run.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/on-error.sh"
cd "$(dirname "$0")/.."
scripts/install-deps.sh --cross

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

# Every vector path on its own must reproduce every golden file (encoder
# bitstreams, decoder outputs, the lost-frame sequences, directly and through
# the loaded module) and keep the runaway-stream recovery; a path the
# processor lacks falls back to the best one it has.
# The differential tests go over every path themselves.
for path in scalar sse2 avx2; do
  echo "=== conformance tests on the $path path ==="
  G729A_SIMD=$path scripts/ctest-no-skips.sh --preset release \
    -R 'Sequences/|Conformance|SimdPaths|Runaway|StateGuard|Concealment|MissingFrame' \
    -E '^Differential\.'
done

# A short benchmark run: shows the benchmarks still run, never fails on speed.
echo "=== benchmark smoke run ==="
build/release/g729a_bench --benchmark_min_time=0.01 >/dev/null
echo "benchmarks ran"
# The side-by-side comparison builds and runs (the work tree against itself:
# it fails if the two sides' bits differ).
scripts/ab-compare.sh HEAD "" data/speech/librivox_austen_8k.raw 1 >/dev/null
echo "side-by-side comparison ran"

build_and_test sanitize
build_and_test tsan

# Fuzzing: every target builds with clang and runs briefly on its corpus.
scripts/fuzz-smoke.sh "${G729A_FUZZ_SECONDS:-30}"

# The same codec on 32-bit x86 and 64-bit ARM, under qemu-user.
scripts/cross-test.sh
# The Debian packages installed into a fresh Debian 12 root.
scripts/package-test.sh
