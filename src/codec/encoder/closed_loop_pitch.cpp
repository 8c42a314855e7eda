#include "codec/encoder/closed_loop_pitch.h"

#include <algorithm>
#include <array>

#include "codec/common/adaptive_codebook.h"

namespace g729a {

namespace {

// Above this delay the first subframe is coded at integer resolution only.
constexpr int kFractionalDelayLimit = 84;

// Largest delay that P1 codes in thirds.
constexpr int kP1FractionalMax = 85;

using Vector = std::array<double, kSubframeLength>;

// in: a[40], b[40]; returns sum a[n] b[n] in increasing n.
double dot(const double* a, const double* b) {
  double s = 0.0;
  for (int n = 0; n < kSubframeLength; ++n) s += a[n] * b[n];
  return s;
}

}  // namespace

PitchRange first_subframe_pitch_range(int t_op) {
  PitchRange r{t_op - 3, 0};
  if (r.delay_min < kPitchMin) return {kPitchMin, kPitchMin + 6};
  r.delay_max = t_op + 3;
  if (r.delay_max > kPitchMax) return {kPitchMax - 6, kPitchMax};
  return r;
}

PitchRange second_subframe_pitch_range(int t0_first) {
  PitchRange r{t0_first - 5, 0};
  if (r.delay_min < kPitchMin) return {kPitchMin, kPitchMin + 9};
  r.delay_max = t0_first + 4;
  if (r.delay_max > kPitchMax) return {kPitchMax - 9, kPitchMax};
  return r;
}

int closed_loop_pitch_search(double* exc, const double* x, const double* h, int delay_min,
                             int delay_max, int subframe_offset, int* fraction) {
  // Target filtered backwards through the impulse response.
  Vector d;
  for (int n = 0; n < kSubframeLength; ++n) {
    double s = 0.0;
    for (int k = n; k < kSubframeLength; ++k) s += x[k] * h[k - n];
    d[n] = s;
  }

  // Delays below 40 reach into this subframe, which still holds the residual.
  double best = -1e38;
  int t0 = delay_min;
  for (int t = delay_min; t <= delay_max; ++t) {
    const double c = dot(d.data(), exc - t);
    if (c > best) {
      best = c;
      t0 = t;
    }
  }

  adaptive_codebook_vector(exc, t0, 0);
  best = dot(d.data(), exc);
  *fraction = 0;
  if (subframe_offset == 0 && t0 > kFractionalDelayLimit) return t0;

  Vector kept;
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
