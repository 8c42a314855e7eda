// Small numeric helpers used across the codec.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>

namespace g729a {

// Filter memories kept between subframes store tiny values as exact zeros,
// so silence never leaves denormals circulating in the recursions. in: v.
inline constexpr double kFlushThreshold = 2e-5;
inline double flush_small(double v) {
  return std::fabs(v) < kFlushThreshold ? 0.0 : v;
}

// flush_small on every value. inout: memory.
template <std::size_t N>
void flush_memory(std::array<double, N>& memory) {
  for (double& v : memory) v = flush_small(v);
}

}  // namespace g729a
