// Algebraic (fixed) codebook search: four signed unit pulses on interleaved
// tracks, found by a depth-first tree search.
#pragma once

#include <array>
#include <cstdint>

#include "g729a/frame_geometry.h"

namespace g729a {

// Correlations of the (sharpened) impulse response before the pulse signs
// are known: row[i][t][k] = sum over n = max(i, j)..39 of h[n - i] h[n - j]
// for j = t + 5k, added in increasing n; row 40 and lane 8 are zero (the
// positions past the subframe).
struct alignas(32) ResponseCorrelations {
  double row[kSubframeLength + 1][5][9];
};

// in: h[40]; out: c.
void response_correlations(const double* h, ResponseCorrelations& c);

// The filtered adaptive-codebook vector and the response's correlations,
// which do not depend on each other, together: y = x through 1/A'(z) from
// memory (ten past outputs, newest last), and c as response_correlations
// gives it. in: ap, x[40], h[40], memory; out: y[40], c.
void synthesis_and_correlations(const LpVector& ap, const double* x, const double* h,
                                const std::array<double, 10>& memory, double* y,
                                ResponseCorrelations& c);

// The search with the correlations of the already sharpened h given.
// in: x2, h (sharpened), c, t0, pitch_sharpening; out: as below.
void algebraic_codebook_search(const double* x2, const double* h, const ResponseCorrelations& c,
                               int t0, double pitch_sharpening, double* cw, double* y2,
                               std::int32_t* position_index, std::int32_t* sign_index);

}  // namespace g729a
