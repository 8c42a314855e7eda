// One sample of the encoder's input high-pass filter, for the loops that run
// it (alone, or interleaved with the analysis window's autocorrelation).
#pragma once

#include <cmath>

#include "codec/common/biquad.h"
#include "codec/common/numeric.h"
#include "codec/common/tables.h"

namespace g729a {

// inout: m (kept in registers by callers that hold it locally); in: x;
// returns the filtered sample.
[[gnu::always_inline]] inline double input_filter_step(BiquadMemory& m, double x) {
  const double y = flush_small(biquad_step(input_filter_b, input_filter_a, m, x));
  // Only the output memories are flushed: they alone can decay into
  // denormals. A (rarely taken) branch rather than a select keeps the
  // test off the recursion's chain.
  if (std::fabs(m[2]) < kFlushThreshold) [[unlikely]] {
    m[2] = 0.0;
    asm volatile("");  // keeps the branch: no select on the chain
  }
  m[3] = flush_small(m[3]);
  return y;
}

}  // namespace g729a
