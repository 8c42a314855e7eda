// Adaptive-codebook (pitch) vector at a delay of T + f/3 samples.
#pragma once

#include <cstring>

#include "codec/simd/simd.h"
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

// One delay's interpolation: the taps of its fraction (past side c1[i],
// future side c2[i]) and the offset of sample n's first past sample from n.
struct AdaptivePlan {
  alignas(32) double c1[10];
  alignas(32) double c2[10];
  int base;
};

// in: T, f; out: plan.
void adaptive_codebook_plan(int T, int f, AdaptivePlan& plan);

// adaptive_codebook_vector from its plan. in: plan; inout: exc.
void adaptive_codebook_fill(const AdaptivePlan& plan, double* exc);

// From base -14 down (delays from 14 up) no sample of a group of four reads
// another of its group, so W samples can be formed side by side.
inline bool adaptive_groups_apart(const AdaptivePlan& plan) {
  return plan.base <= -14;
}

// Samples n0..n0+W-1 of adaptive_codebook_vector, one per lane, each with
// the plain sample's sum; the groups before n0 must be formed. Only where
// adaptive_groups_apart. in: plan, n0; inout: exc.
template <int W>
[[gnu::always_inline]] inline void adaptive_codebook_group(const AdaptivePlan& plan, int n0,
                                                           double* exc) {
  using V = typename LaneVector<W>::type;
  const double* x1 = exc + plan.base + n0;
  const double* x2 = x1 + 1;
  V v = {};
  for (int i = 0; i < 10; ++i) {
    V a, b, c1, c2;
    std::memcpy(&a, x1 - i, sizeof a);
    std::memcpy(&b, x2 + i, sizeof b);
    for (int k = 0; k < W; ++k) c1[k] = plan.c1[i], c2[k] = plan.c2[i];
    v = v + (a * c1 + b * c2);
  }
  std::memcpy(exc + n0, &v, sizeof v);
}

}  // namespace g729a
