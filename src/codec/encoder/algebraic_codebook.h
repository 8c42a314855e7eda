// Algebraic (fixed) codebook search: four signed unit pulses on interleaved
// tracks, found by a depth-first tree search.
#pragma once

#include <cstdint>

namespace g729a {

// in: x2[40] codebook target, t0, pitch_sharpening; inout: h[40] impulse
// response (sharpened in place when t0 < 40); out: cw[40] innovation after
// pitch sharpening, y2[40] filtered innovation, 13-bit position index, 4-bit
// sign index.
void algebraic_codebook_search(const double* x2, double* h, int t0, double pitch_sharpening,
                               double* cw, double* y2, std::int32_t* position_index,
                               std::int32_t* sign_index);

}  // namespace g729a
