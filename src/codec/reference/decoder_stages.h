// Decoder stages as single units: the fast decoder splits each of them and
// interleaves the parts with other work.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "codec/common/frame_format.h"
#include "codec/decoder/postfilter.h"
#include "g729a/decoder_state.h"

namespace g729a {

// Post-filter of one 40-sample subframe: residual through A(z/0.55), pitch
// post-filter (speech only), tilt compensation, synthesis through
// 1/A(z/0.70), adaptive gain control. in: A (the subframe's LP vector),
// kind, T, s (0 or 1); inout: state; out: out[40 s .. 40 s + 39].
void postfilter_subframe(DecoderState& state, const LpVector& A, FrameKind kind, int T, int s,
                         std::span<double, 80> out);

// in: x (the subframe's synthesized speech), y (the post-filtered
// subframe); inout: gain; out: out[0..39] (may be y itself).
void adaptive_gain_control(SubframeIn x, SubframeIn y, double& gain, SubframeOut out);

// The output high-pass filter and conversion to 16 bits. in: v (80
// post-filtered samples); inout: memory (x1, x2, y1, y2); out: pcm[80].
void output_stage(std::span<const double, 80> v, std::array<double, 4>& memory,
                  std::span<std::int16_t, 80> pcm);

}  // namespace g729a
