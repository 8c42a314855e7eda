#include "codec/common/biquad.h"
#include "codec/common/numeric.h"
#include "codec/common/tables.h"
#include "g729a/codec.h"

namespace g729a {

void encoder_preprocess(BiquadMemory& memory, std::span<double> signal) {
  for (double& sample : signal) {
    sample = flush_small(biquad_step(input_filter_b, input_filter_a, memory, sample));
    // Only the output memories are flushed: they alone can decay into denormals.
    memory[2] = flush_small(memory[2]);
    memory[3] = flush_small(memory[3]);
  }
}

}  // namespace g729a
