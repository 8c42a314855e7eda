#include "codec/encoder/input_filter.h"
#include "g729a/codec.h"

namespace g729a {

void encoder_preprocess(BiquadMemory& memory, std::span<double> signal) {
  // The memory stays in registers through the recursion.
  BiquadMemory m = memory;
  for (double& sample : signal) sample = input_filter_step(m, sample);
  memory = m;
}

}  // namespace g729a
