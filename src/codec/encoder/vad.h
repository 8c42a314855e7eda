// Voice activity detection: is a 10 ms frame speech, or background noise
// that comfort noise can stand in for?
#pragma once

#include <span>

#include "g729a/encoder_state.h"

namespace g729a {

// out: state, at the start of the initialization period.
void vad_init(VadState& state);

// The frame's features from what the analysis already has. in: r (the
// window's lag-windowed autocorrelation), lsp (the frame's unquantized
// LSPs), frame (its 80 pre-processed samples and the 40 of look-ahead);
// out: features.
void vad_features(std::span<const double, 11> r, std::span<const double, 10> lsp,
                  const double* frame, VadFeatures& features);

// The decision for a frame with these features; the background learns from
// the frame when it is judged inactive. in: features; inout: state.
// Returns true for speech.
bool vad_decide(const VadFeatures& features, VadState& state);

}  // namespace g729a
