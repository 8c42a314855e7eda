#include "codec/encoder/open_loop_pitch.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "codec/common/numeric.h"
#include "codec/encoder/lp_analysis.h"
#include "codec/simd/lanes.h"
#include "codec/simd/lp_synthesis_steps.h"
#include "codec/simd/simd.h"

namespace g729a {

namespace {

constexpr int kLength = kFrameLength;
constexpr int kEvenFirst = 60;  // c[kEvenFirst + j]: delay 80 + 2j
constexpr int kHistoryEven = 71;

// The third section's delays are even and so are n, so its terms read only
// even past samples: ev[i] = s[2i - 142], where consecutive even delays are
// adjacent. in: s; out: ev[0..70].
void even_history(const double* s, double* ev) {
  for (int i = 0; i < kHistoryEven; ++i) ev[i] = s[2 * i - 142];
}

// The section's first maximum of c[0..count-1], c[i] being delay first +
// step * i: ties keep the smallest delay.
int best_of(const double* c, int count, int first, int step, double* best_corr) {
  double best = -1e38;
  const int i = first_maximum(c, count, &best);
  *best_corr = best;
  return i < 0 ? first : first + step * i;
}

#if defined(G729A_HAVE_AVX2)
// After output k of the second subframe, term n = 2k of every sum: s[2k]
// is then known (2k - 40 <= k), and so is every s[2k - T]. Every second
// output takes the two terms since the last visit. Lane l of vector v
// carries delay 20 + 4v + 3 - l (v < 15), or 80 + 2(4(v - 15) + 3 - l).
// in: res, ap; inout: memory, s; out: c.
G729A_AVX2 void weighted_speech_with_pitch_correlations_avx2(
    const double* res, const LpVector& ap, std::array<double, 10>& memory, double* s,
    std::array<double, kOpenLoopDelays>& c) {
  using V = LaneVector<4>::type;
  constexpr int kNear = kEvenFirst / 4;
  constexpr int kVectors = kOpenLoopDelays / 4;
  static_assert(kVectors * 4 == kOpenLoopDelays && kNear * 4 == kEvenFirst);
  alignas(32) double ev[kHistoryEven + 1];
  even_history(s, ev);
  LpVector f;
  weighted_speech_filter(ap, f);
  alignas(32) std::array<double, 10 + kSubframeLength> buf;  // the memory, then the outputs
  for (int k = 0; k < 10; ++k) buf[k] = memory[k];
  alignas(32) V acc[kVectors];
  for (V& a : acc) a = V{0.0, 0.0, 0.0, 0.0};
  synthesis_steps(f.data(), res, buf.data() + 10, kSubframeLength, [&](int k) {
    s[kSubframeLength + k] = buf[10 + k];
    if (k % 2 == 0) return;
    const int n0 = 2 * k - 2;  // the two terms: n0 and n0 + 2
    const double x0 = s[n0];
    const double x1 = s[n0 + 2];
    const V s0{x0, x0, x0, x0};
    const V s1{x1, x1, x1, x1};
    for (int v = 0; v < kNear; ++v) {
      V l0, l1;
      std::memcpy(&l0, s + n0 - kPitchMin - 4 * v - 3, sizeof l0);
      std::memcpy(&l1, s + n0 + 2 - kPitchMin - 4 * v - 3, sizeof l1);
      acc[v] = (acc[v] + s0 * l0) + s1 * l1;
    }
    for (int v = kNear; v < kVectors; ++v) {
      // s[n - 80 - 2j] = ev[n / 2 + 31 - j].
      const int j = 4 * (v - kNear);
      V l0, l1;
      std::memcpy(&l0, ev + n0 / 2 + 31 - j - 3, sizeof l0);
      std::memcpy(&l1, ev + n0 / 2 + 1 + 31 - j - 3, sizeof l1);
      acc[v] = (acc[v] + s0 * l0) + s1 * l1;
    }
  });
  for (int k = 0; k < 10; ++k) memory[k] = buf[kSubframeLength + k];
  flush_memory(memory);
  for (int v = 0; v < kVectors; ++v) {
    for (int l = 0; l < 4; ++l) c[4 * v + 3 - l] = acc[v][l];
  }
}
#endif

}  // namespace

void open_loop_correlations(const double* s, std::array<double, kOpenLoopDelays>& c) {
  lagged_sums(s, s - kPitchMin, 2, kLength / 2, kEvenFirst, c.data());
  alignas(32) double ev[kHistoryEven];
  even_history(s, ev);
  // Term n of delay 80 + 2j reads ev[n / 2 + 31 - j].
  alignas(32) double frame_even[kLength / 2];
  for (int i = 0; i < kLength / 2; ++i) frame_even[i] = s[2 * i];
  lagged_sums(frame_even, ev + 31, 1, kLength / 2, 32, c.data() + kEvenFirst);
}

void weighted_speech_and_correlations(const double* res, const LpVector& ap,
                                      std::array<double, 10>& memory, double* s,
                                      std::array<double, kOpenLoopDelays>& c) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2)
    return weighted_speech_with_pitch_correlations_avx2(res, ap, memory, s, c);
#endif
  weighted_speech(res, ap, memory, s + kSubframeLength);
  open_loop_correlations(s, c);
}

int open_loop_pitch(const double* s, const std::array<double, kOpenLoopDelays>& c) {
  // The three section maxima, ties keeping the smallest delay.
  double c1;
  double c2;
  double c3;
  const int t1 = best_of(c.data(), 20, 20, 1, &c1);
  const int t2 = best_of(c.data() + 20, 40, 40, 1, &c2);
  const int t3_even = best_of(c.data() + kEvenFirst, 32, 80, 2, &c3);

  // Every sum still needed, side by side in one loop (each in increasing
  // n): the third section's neighbours' correlations, and the energies of
  // the three sections' delays, all three of the third's possible ones
  // among them, so that none waits for the refinement.
  double c_up = 0.0;
  double c_down = 0.0;
  double e1 = 0.01;
  double e2 = 0.01;
  double e3[3] = {0.01, 0.01, 0.01};  // delays t3_even - 1, t3_even, t3_even + 1
  for (int n = 0; n < kLength; n += 2) {
    c_up += s[n] * s[n - t3_even - 1];
    c_down += s[n] * s[n - t3_even + 1];
    e1 += s[n - t1] * s[n - t1];
    e2 += s[n - t2] * s[n - t2];
    for (int i = 0; i < 3; ++i) e3[i] += s[n - t3_even + 1 - i] * s[n - t3_even + 1 - i];
  }
  double max1 = c1 / std::sqrt(e1);
  double max2 = c2 / std::sqrt(e2);

  int t3 = t3_even;
  if (c_up > c3) {
    c3 = c_up;
    t3 = t3_even + 1;
  }
  if (c_down > c3) {
    c3 = c_down;
    t3 = t3_even - 1;
  }
  const double max3 = c3 / std::sqrt(e3[t3 - t3_even + 1]);

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
