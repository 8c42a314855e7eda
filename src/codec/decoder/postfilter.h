// Post-filter of one 40-sample subframe: long-term pitch post-filter on the
// weighted residual, tilt compensation, short-term synthesis and adaptive
// gain control.
#pragma once

#include <array>
#include <span>

#include "codec/common/frame_format.h"
#include "g729a/decoder_state.h"

namespace g729a {

using Subframe = std::array<double, 40>;

// in: r points at the subframe's residual with 143 past samples before it;
// T the subframe's integer pitch delay. out: p.
void pitch_postfilter(const double* r, int T, Subframe& p);

// First normalized autocorrelation of the An/Ad impulse response, times
// 0.8; 0 when it is not positive. in: An, Ad.
double tilt_factor(const LpVector& An, const LpVector& Ad);

// in: k; inout: p, memory (last input sample of the previous subframe).
void tilt_compensation(double k, Subframe& p, double& memory);

// in: x (the subframe's synthesized speech); inout: y, gain.
void adaptive_gain_control(const double* x, Subframe& y, double& gain);

// in: A (the subframe's LP vector), kind, T, s (0 or 1); inout: state;
// out: out[40 s .. 40 s + 39].
void postfilter_subframe(DecoderState& state, const LpVector& A, FrameKind kind, int T, int s,
                         std::span<double, 80> out);

}  // namespace g729a
