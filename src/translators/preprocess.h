// Pre-processing high-pass filter of the encoder translator. Header-only so
// the tests can run it without the loadable module.
#pragma once

#include <span>

#include "codec/common/numeric.h"
#include "codec/encoder/encoder_state.h"

namespace g729a {

inline constexpr double kHpB0 = 0.92727435;
inline constexpr double kHpB1 = -1.8544941;
inline constexpr double kHpB2 = 0.92727435;
inline constexpr double kHpA1 = 1.9059465;
inline constexpr double kHpA2 = -0.9114024;

// inout: state.hp_x1, hp_x2, hp_y1, hp_y2; inout: signal, filtered in place.
inline void preprocess_filter(EncoderState& state, std::span<double> signal) {
  for (double& sample : signal) {
    const double x = sample;
    const double y = ((kHpA1 * state.hp_y1 + kHpA2 * state.hp_y2) + kHpB0 * x) +
                     kHpB1 * state.hp_x1 + kHpB2 * state.hp_x2;
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
