#include "codec/common/biquad.h"
#include "codec/common/numeric.h"
#include "codec/common/tables.h"
#include "g729a/codec.h"

namespace g729a {

void encoder_preprocess(BiquadMemory& memory, std::span<double> signal) {
  // The memory stays in registers through the recursion.
  BiquadMemory m = memory;
  for (double& sample : signal) {
    sample = flush_small(biquad_step(input_filter_b, input_filter_a, m, sample));
    // Only the output memories are flushed: they alone can decay into
    // denormals. A (rarely taken) branch rather than a select keeps the
    // test off the recursion's chain.
    if (std::fabs(m[2]) < kFlushThreshold) [[unlikely]] {
      m[2] = 0.0;
      asm volatile("");  // keeps the branch: no select on the chain
    }
    m[3] = flush_small(m[3]);
  }
  memory = m;
}

}  // namespace g729a
