// Pre-processing high-pass filter of the encoder translator. Header-only so
// the tests can run it without the loadable module.
#pragma once

#include <span>

#include "codec/common/numeric.h"
#include "codec/common/tables.h"
#include "codec/encoder/encoder_state.h"

namespace g729a {

// inout: state.hp_x1, hp_x2, hp_y1, hp_y2; inout: signal, filtered in place.
inline void preprocess_filter(EncoderState& state, std::span<double> signal) {
  const double* b = input_filter_b;
  const double* a = input_filter_a;  // a[0] = 1
  for (double& sample : signal) {
    const double x = sample;
    const double y = ((a[1] * state.hp_y1 + a[2] * state.hp_y2) + b[0] * x) + b[1] * state.hp_x1 +
                     b[2] * state.hp_x2;
    state.hp_x2 = state.hp_x1;
    state.hp_x1 = x;
    state.hp_y2 = state.hp_y1;
    state.hp_y1 = y;
    sample = flush_small(y);
    // Only the output memories are flushed: they alone can decay into denormals.
    state.hp_y1 = flush_small(state.hp_y1);
    state.hp_y2 = flush_small(state.hp_y2);
  }
}

}  // namespace g729a
