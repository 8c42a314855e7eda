// Adaptive-codebook (pitch) vector at a delay of T + f/3 samples.
#pragma once

#include "g729a/frame_geometry.h"

namespace g729a {

// Range of the fixed codebook's pitch-sharpening factor; the lower bound is
// also its value after a reset or a comfort-noise frame.
inline constexpr double kSharpeningMin = 0.2;
inline constexpr double kSharpeningMax = 0.7945;

// v[n] += sharpening v[n-T] for n = T..39 in increasing order, in place, so
// delays below 20 add already sharpened samples; no change for T >= 40.
// in: T, sharpening; inout: v[40].
inline void pitch_sharpen(int T, double sharpening, double* v) {
  for (int n = T; n < kSubframeLength; ++n) v[n] = v[n] + sharpening * v[n - T];
}

// The next subframe's sharpening factor: the quantized pitch gain, bounded.
// in: gain_pitch.
inline double bound_pitch_sharpening(double gain_pitch) {
  if (gain_pitch > kSharpeningMax) return kSharpeningMax;
  if (gain_pitch < kSharpeningMin) return kSharpeningMin;
  return gain_pitch;
}

// in: T, f (-1, 0 or +1); inout: exc (the first sample of the subframe
// inside an excitation history with at least T + 11 samples before it).
// Writes exc[0..39] in order, each sample before the next is computed, so
// delays below 50 repeat the vector periodically.
void adaptive_codebook_vector(double* exc, int T, int f);

}  // namespace g729a
