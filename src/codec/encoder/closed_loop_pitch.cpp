#include "codec/encoder/closed_loop_pitch.h"

#include <algorithm>
#include <array>

#include "codec/common/adaptive_codebook.h"
#include "codec/encoder/subframe.h"
#include "codec/simd/lanes.h"

namespace g729a {

namespace {

// Above this delay the first subframe is coded at integer resolution only.
constexpr int kFractionalDelayLimit = 84;

// Largest delay that P1 codes in thirds.
constexpr int kP1FractionalMax = 85;

using Vector = std::array<double, kSubframeLength>;

// in: a[40], b[40]; returns sum a[n] b[n] in increasing n.
double dot(const double* a, const double* b) {
  return dot_product(0.0, a, b);
}

// t - below .. t + above, shifted whole to lie inside kPitchMin..kPitchMax.
PitchRange pitch_window(int t, int below, int above) {
  PitchRange r{t - below, 0};
  if (r.delay_min < kPitchMin) return {kPitchMin, kPitchMin + below + above};
  r.delay_max = t + above;
  if (r.delay_max > kPitchMax) return {kPitchMax - below - above, kPitchMax};
  return r;
}

}  // namespace

PitchRange first_subframe_pitch_range(int t_op) {
  return pitch_window(t_op, 3, 3);
}

PitchRange second_subframe_pitch_range(int t0_first) {
  return pitch_window(t0_first, 5, 4);
}

int closed_loop_pitch_search(double* exc, const double* x, const double* h, int delay_min,
                             int delay_max, int subframe_offset, int* fraction) {
  alignas(32) Vector d;
  backward_filter(x, h, d.data());

  // Delays below 40 reach into this subframe, which still holds the residual.
  // c[i]: the correlation at delay delay_min + i; up to three more delays
  // than needed keep whole vectors (they reach at most 146 samples back).
  alignas(32) double c[kPitchMax - kPitchMin + 4];
  const int count = (delay_max - delay_min + 4) & ~3;
  lagged_sums(d.data(), exc - delay_min, 1, kSubframeLength, count, c);
  double best = -1e38;
  int t0 = delay_min;
  for (int t = delay_min; t <= delay_max; ++t) {
    if (c[t - delay_min] > best) {
      best = c[t - delay_min];
      t0 = t;
    }
  }

  adaptive_codebook_vector(exc, t0, 0);
  best = dot(d.data(), exc);
  *fraction = 0;
  if (subframe_offset == 0 && t0 > kFractionalDelayLimit) return t0;

  alignas(32) Vector kept;
  std::copy(exc, exc + kSubframeLength, kept.begin());

  adaptive_codebook_vector(exc, t0, -1);
  double score = dot(d.data(), exc);
  if (score > best) {
    *fraction = -1;
    best = score;
    std::copy(exc, exc + kSubframeLength, kept.begin());
  }

  adaptive_codebook_vector(exc, t0, 1);
  score = dot(d.data(), exc);
  if (score > best) {
    *fraction = 1;
  } else {
    std::copy(kept.begin(), kept.end(), exc);
  }
  return t0;
}

std::int32_t encode_pitch_p1(int t0, int fraction) {
  if (t0 <= kP1FractionalMax) return 3 * t0 - 58 + fraction;
  return t0 + 112;
}

std::int32_t encode_pitch_p2(int t0, int fraction, int delay_min) {
  return 3 * (t0 - delay_min) + 2 + fraction;
}

}  // namespace g729a
