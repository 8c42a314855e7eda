// Small numeric helpers used across the codec.
#pragma once

#include <cmath>

namespace g729a {

// Filter memories kept between subframes store tiny values as exact zeros,
// so silence never leaves denormals circulating in the recursions.
inline constexpr double kFlushThreshold = 2e-5;
inline double flush_small(double v) {
  return std::fabs(v) < kFlushThreshold ? 0.0 : v;
}

}  // namespace g729a
