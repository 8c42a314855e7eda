#include "codec/encoder/open_loop_pitch.h"

#include <cmath>
#include <cstdlib>

#include "codec/common/lanes.h"
#include "g729a/frame_geometry.h"

namespace g729a {

namespace {

constexpr int kLength = kFrameLength;

double correlation(const double* s, int t) {
  double sum = 0.0;
  for (int n = 0; n < kLength; n += 2) sum += s[n] * s[n - t];
  return sum;
}

double delayed_energy(const double* s, int t) {
  double sum = 0.01;
  for (int n = 0; n < kLength; n += 2) sum += s[n - t] * s[n - t];
  return sum;
}

// The same choice over correlations already computed: c[i] of delay
// first + step * i.
int best_of(const double* c, int count, int first, int step, double* best_corr) {
  double best = -1e38;
  const int i = first_maximum(c, count, &best);
  *best_corr = best;
  return i < 0 ? first : first + step * i;
}

// The three section maxima, ties keeping the smallest delay. The third
// section's even delays read only even samples, so it runs on a copy of
// those (ev[i] = s[2 i - 142]), where consecutive even delays are adjacent.
void section_bests(const double* s, int* t1, double* c1, int* t2, double* c2, int* t3, double* c3) {
  alignas(32) double c[40];
  lagged_sums(s, s - 20, 2, 40, 20, c);
  *t1 = best_of(c, 20, 20, 1, c1);
  lagged_sums(s, s - 40, 2, 40, 40, c);
  *t2 = best_of(c, 40, 40, 1, c2);
  alignas(32) double ev[111];
  for (int i = 0; i < 111; ++i) ev[i] = s[2 * i - 142];
  lagged_sums(ev + 71, ev + 71 - 40, 1, 40, 32, c);
  *t3 = best_of(c, 32, 80, 2, c3);
}

}  // namespace

int open_loop_pitch(const double* s) {
  double c1;
  double c2;
  double c3;
  int t1;
  int t2;
  int t3_even;
  section_bests(s, &t1, &c1, &t2, &c2, &t3_even, &c3);
  double max1 = c1 / std::sqrt(delayed_energy(s, t1));
  double max2 = c2 / std::sqrt(delayed_energy(s, t2));

  int t3 = t3_even;
  const double c_up = correlation(s, t3_even + 1);
  if (c_up > c3) {
    c3 = c_up;
    t3 = t3_even + 1;
  }
  const double c_down = correlation(s, t3_even - 1);
  if (c_down > c3) {
    c3 = c_down;
    t3 = t3_even - 1;
  }
  const double max3 = c3 / std::sqrt(delayed_energy(s, t3));

  // A longer delay close to a multiple of a shorter one is most likely that
  // shorter period repeated: favour the shorter.
  if (std::abs(2 * t2 - t3) < 5) max2 = max2 + 0.25 * max3;
  if (std::abs(3 * t2 - t3) < 7) max2 = max2 + 0.25 * max3;
  if (std::abs(2 * t1 - t2) < 5) max1 = max1 + 0.2 * max2;
  if (std::abs(3 * t1 - t2) < 7) max1 = max1 + 0.2 * max2;

  int t_op = t1;
  double best = max1;
  if (max2 > max1) {
    t_op = t2;
    best = max2;
  }
  if (max3 > best) t_op = t3;
  return t_op;
}

}  // namespace g729a
