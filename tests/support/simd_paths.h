// Runs a computation on every vector path the machine offers and compares
// the results with the scalar path's bit for bit.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "codec/simd/simd.h"

namespace testsupport {

using ForcedPath = g729a::ScopedSimdPath;

inline bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

// compute() returns everything the kernel produced (integers as doubles).
template <class Compute>
void expect_every_path_matches_scalar(Compute compute, const char* what) {
  std::vector<double> reference;
  {
    ForcedPath scalar(g729a::SimdPath::Scalar);
    reference = compute();
  }
  for (g729a::SimdPath path : {g729a::SimdPath::Sse2, g729a::SimdPath::Avx2}) {
    ForcedPath forced(path);
    if (forced.active() != path) continue;  // not offered by this machine
    EXPECT_TRUE(same_bits(compute(), reference))
        << what << ": " << g729a::simd_path_name(path) << " differs from scalar";
  }
}

// Signals of mixed scale with exact zeros, sign changes and tiny values, so
// that any reordering of a sum shows in the last bits.
inline std::vector<double> varied_signal(std::size_t n, unsigned seed, double scale = 1000.0) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> v(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double x = u(gen);
    switch (gen() % 8) {
      case 0:
        v[i] = 0.0;
        break;
      case 1:
        v[i] = x * 1e-7;
        break;
      case 2:
        v[i] = x * scale * 30.0;
        break;
      default:
        v[i] = x * scale;
    }
  }
  return v;
}

}  // namespace testsupport
