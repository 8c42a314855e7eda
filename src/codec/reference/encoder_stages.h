// Encoder stages as single units: the fast encoder splits each of them and
// interleaves the parts with other work.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "g729a/frame_geometry.h"

namespace g729a {

// in: speech[240], lsp_previous (fallback of the root search); out: lsp_new.
void lp_analysis(std::span<const double, 240> speech, std::span<const double, 10> lsp_previous,
                 std::span<double, 10> lsp_new);

// in: s[-143..79], s pointing at the frame's first weighted sample;
// returns T_op in 20..143.
int open_loop_pitch(const double* s);

// in: ap; out: h[0..39], the response of 1/A'(z) to a unit impulse.
void impulse_response(const LpVector& ap, double* h);

// in: x2[40] codebook target, t0, pitch_sharpening; inout: h[40] impulse
// response (sharpened in place when t0 < 40); out: cw[40] innovation after
// pitch sharpening, y2[40] filtered innovation, 13-bit position index, 4-bit
// sign index.
void algebraic_codebook_search(const double* x2, double* h, int t0, double pitch_sharpening,
                               double* cw, double* y2, std::int32_t* position_index,
                               std::int32_t* sign_index);

}  // namespace g729a
