// A subframe's excitation: formed in place, or planned to be formed later
// (the frame's second subframe, whose adaptive vector the schedule builds
// interleaved with the first subframe's synthesis).
#pragma once

#include <array>

#include "codec/common/adaptive_codebook.h"
#include "codec/decoder/cng_excitation.h"
#include "codec/simd/lanes.h"
#include "g729a/decoder_state.h"
#include "g729a/frame_geometry.h"

namespace g729a {

// A subframe's excitation yet to be formed: gain_pitch times its adaptive
// vector plus gain_code times the codevector. Comfort noise then adds its
// four pulses (cng_add_pulses, cv holding the scaled noise).
struct PendingExcitation {
  AdaptivePlan plan;
  double gain_pitch;
  double gain_code;
  std::array<double, kSubframeLength> cv;
  bool pulses = false;
  CngDraw draw;
  double noise_gain;  // G of the pulses' target energy
};

// One speech subframe's excitation at `position` of excitation_buffer, or,
// given `pending`, all it needs to be formed there later. in: the
// subframe's parameters; inout: state, T (the first subframe's delay on
// entry for the second); out: *pending.
void speech_excitation(DecoderState& state, int position, int s, int pitch_index, int parity_error,
                       int C, int S, int gain_index, int& T, PendingExcitation* pending);

// The pending excitation's gains (and comfort noise's pulses), once its
// adaptive vector stands at x. in: next; inout: x[0..39].
inline void finish_pending(const PendingExcitation& next, double* x) {
  weighted_sum(next.gain_pitch, x, next.gain_code, next.cv.data(), x);
  if (next.pulses) {
    const double E = dot_product(0.0, x, x);
    cng_add_pulses(x, E, next.cv, next.draw, next.noise_gain);
  }
}

}  // namespace g729a
