// Open-loop pitch delay of a whole frame from the weighted speech, searched
// on every second sample in three delay sections.
#pragma once

#include <array>

#include "g729a/frame_geometry.h"

namespace g729a {

// The delays the three sections search: 20..79, then the even ones of
// 80..142.
inline constexpr int kOpenLoopDelays = 60 + 32;

// C(T), the sum over even n = 0..78 of s[n] s[n - T] in increasing n, of
// each searched delay: c[T - 20] for T = 20..79, c[60 + (T - 80) / 2] for
// even T = 80..142. in: s[-143..79]; out: c.
void open_loop_correlations(const double* s, std::array<double, kOpenLoopDelays>& c);

// The second subframe's weighted speech (as weighted_speech gives it) and
// the frame's open-loop correlations (as open_loop_correlations gives
// them); the vector paths form the correlations interleaved with the synthesis. in:
// res[0..39] (the second subframe's residual), ap (its weighted filter);
// inout: memory, s[-143..79] (s[0..39] in, s[40..79] out); out: c.
void weighted_speech_and_correlations(const double* res, const LpVector& ap,
                                      std::array<double, 10>& memory, double* s,
                                      std::array<double, kOpenLoopDelays>& c);

// in: s[-143..79], c (open_loop_correlations of s); returns T_op in 20..143.
int open_loop_pitch(const double* s, const std::array<double, kOpenLoopDelays>& c);

}  // namespace g729a
