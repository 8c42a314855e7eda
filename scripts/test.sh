#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: the optimised build with the
# conformance report of the published test sequences, then the unoptimised
# build under AddressSanitizer and UndefinedBehaviorSanitizer (which also
# shows the results do not depend on the optimisation level), then the codec,
# module and conformance tests built for i386 and arm64.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build_and_test() {
  echo "=== $1 build ==="
  cmake --preset "$1"
  cmake --build --preset "$1"
  echo "=== $1 tests ==="
  ctest --preset "$1"
}

build_and_test release
vectors=../shared/testvectors
if [ -d "$vectors" ]; then
  echo "=== conformance report (SNR against the published decoder and chain) ==="
  build/release/g729a conformance "$vectors"
else
  echo "=== conformance report skipped: $vectors not found ==="
fi
# Every vector path on its own must reproduce every golden file (encoder
# bitstreams, decoder outputs, the lost-frame sequences, directly and through
# the loaded module) and keep the runaway-stream recovery; a path the
# processor lacks falls back to the best one it has.
for path in scalar sse2 avx2; do
  echo "=== conformance tests on the $path path ==="
  G729A_SIMD=$path ctest --preset release -R 'Sequences/|Conformance|SimdPaths|Runaway|Concealment|MissingFrame'
done

# A short benchmark run: shows the benchmarks still run, never fails on speed.
echo "=== benchmark smoke run ==="
build/release/g729a_bench --benchmark_min_time=0.01 >/dev/null && echo "benchmarks ran"

build_and_test sanitize
# The same codec on 32-bit x86 and 64-bit ARM, under qemu-user.
scripts/cross-test.sh
# The Debian packages installed into a fresh Debian 12 root.
scripts/package-test.sh
