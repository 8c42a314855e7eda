#include "codec/encoder/open_loop_pitch.h"

#include <cmath>
#include <cstdlib>

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

// Delays first, first + step, ..., last; ties keep the smallest delay.
int best_delay(const double* s, int first, int last, int step, double* best_corr) {
  double best = -1e38;
  int delay = first;
  for (int t = first; t <= last; t += step) {
    const double c = correlation(s, t);
    if (c > best) {
      best = c;
      delay = t;
    }
  }
  *best_corr = best;
  return delay;
}

}  // namespace

int open_loop_pitch(const double* s) {
  double c1;
  const int t1 = best_delay(s, 20, 39, 1, &c1);
  double max1 = c1 / std::sqrt(delayed_energy(s, t1));

  double c2;
  const int t2 = best_delay(s, 40, 79, 1, &c2);
  double max2 = c2 / std::sqrt(delayed_energy(s, t2));

  double c3;
  const int t3_even = best_delay(s, 80, 142, 2, &c3);
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
