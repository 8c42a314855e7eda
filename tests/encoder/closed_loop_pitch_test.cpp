#include "codec/encoder/closed_loop_pitch.h"

#include <gtest/gtest.h>

#include <array>
#include <utility>

#include "codec/common/adaptive_codebook.h"
#include "codec/common/frame_format.h"
#include "codec/common/tables.h"

namespace {

using g729a::closed_loop_pitch_search;
using g729a::encode_pitch_p1;
using g729a::encode_pitch_p2;
using g729a::first_subframe_pitch_range;
using g729a::PitchRange;
using g729a::second_subframe_pitch_range;

const double* b = g729a::pitch_interp_filter;

// Excitation history of 154 samples, then one frame; at(k) is sample k of
// the frame, so at(0)[-t] lies t samples in the past.
struct Excitation {
  std::array<double, 234> buffer{};
  double* at(int k) { return buffer.data() + 154 + k; }
};

using Vec = std::array<double, 40>;

Vec unit_impulse() {
  Vec h{};
  h[0] = 1.0;
  return h;
}

void expect_range(PitchRange r, int lo, int hi) {
  EXPECT_EQ(r.delay_min, lo);
  EXPECT_EQ(r.delay_max, hi);
}

TEST(PitchRange, FirstSubframeIsSevenDelaysInsideTheLimits) {
  for (int t_op : {20, 21, 22, 23}) expect_range(first_subframe_pitch_range(t_op), 20, 26);
  expect_range(first_subframe_pitch_range(24), 21, 27);
  expect_range(first_subframe_pitch_range(80), 77, 83);
  expect_range(first_subframe_pitch_range(140), 137, 143);
  for (int t_op : {141, 142, 143}) expect_range(first_subframe_pitch_range(t_op), 137, 143);
}

TEST(PitchRange, SecondSubframeIsTenDelaysInsideTheLimits) {
  for (int t0 : {20, 24, 25}) expect_range(second_subframe_pitch_range(t0), 20, 29);
  expect_range(second_subframe_pitch_range(26), 21, 30);
  expect_range(second_subframe_pitch_range(138), 133, 142);
  for (int t0 : {139, 140, 143}) expect_range(second_subframe_pitch_range(t0), 134, 143);
}

TEST(PitchIndex, FirstSubframeValues) {
  EXPECT_EQ(encode_pitch_p1(20, -1), 1);
  EXPECT_EQ(encode_pitch_p1(84, 1), 195);
  EXPECT_EQ(encode_pitch_p1(85, 0), 197);
  EXPECT_EQ(encode_pitch_p1(86, 0), 198);
  EXPECT_EQ(encode_pitch_p1(143, 0), 255);
}

// Every delay the search can produce comes back through the decoder's rule.
TEST(PitchIndex, FirstSubframeDecodesBack) {
  for (int t = 20; t <= 143; ++t) {
    for (int f = -1; f <= 1; ++f) {
      if (t > 84 && f != 0) continue;
      const int p1 = encode_pitch_p1(t, f);
      ASSERT_GE(p1, 0);
      ASSERT_LE(p1, 255);
      const int dt = p1 < 197 ? (p1 + 2) / 3 + 19 : p1 - 112;
      const int df = p1 < 197 ? (p1 + 2) % 3 - 1 : 0;
      EXPECT_EQ(dt, t) << "P1 " << p1;
      EXPECT_EQ(df, f) << "P1 " << p1;
    }
  }
}

TEST(PitchIndex, SecondSubframeSpansOneToThirtyAndDecodesBack) {
  for (int t0_first : {20, 80, 143}) {
    const PitchRange r = second_subframe_pitch_range(t0_first);
    EXPECT_EQ(encode_pitch_p2(r.delay_min, -1, r.delay_min), 1);
    EXPECT_EQ(encode_pitch_p2(r.delay_max, 1, r.delay_min), 30);
    for (int t = r.delay_min; t <= r.delay_max; ++t) {
      for (int f = -1; f <= 1; ++f) {
        const int p2 = encode_pitch_p2(t, f, r.delay_min);
        EXPECT_EQ(r.delay_min + (p2 + 2) / 3 - 1, t);
        EXPECT_EQ((p2 + 2) % 3 - 1, f);
      }
    }
  }
}

TEST(PitchIndex, ParityOfTheSixHighBits) {
  EXPECT_EQ(g729a::pitch_parity(170), 0);
  for (int p1 = 0; p1 < 256; ++p1) {
    int ones = 0;
    for (int bit = 2; bit <= 7; ++bit) ones += (p1 >> bit) & 1;
    EXPECT_EQ(g729a::pitch_parity(p1), (1 + ones) % 2) << p1;
  }
}

// The search's output vector is the shared interpolation at the chosen
// delay, computed on the excitation as it was before the search; nothing
// outside the subframe is written.
void expect_vector_for(const Excitation& before, Excitation& after, int k, int t0, int fraction) {
  Excitation expected = before;
  g729a::adaptive_codebook_vector(expected.at(k), t0, fraction);
  EXPECT_EQ(after.buffer, expected.buffer) << "T0 " << t0 << " fraction " << fraction;
}

// Delays below 40 correlate with the residual still held in the subframe:
// d is a single sample at 39, so c(t) = exc[39 - t]. Larger values just
// outside the range must not be chosen.
TEST(ClosedLoopPitch, ShortDelaysReadTheResidualAndStayInRange) {
  for (int want : {20, 23, 26}) {
    Excitation e;
    for (int k = 40; k < 80; ++k) e.at(0)[k] = 7.0;  // second subframe's residual
    e.at(0)[39 - want] = 1.0;
    e.at(0)[39 - 19] = 5.0;
    e.at(0)[39 - 27] = 5.0;
    Vec x{};
    x[39] = 1.0;
    const Vec h = unit_impulse();
    const Excitation before = e;
    const PitchRange r = first_subframe_pitch_range(20);
    int fraction = 9;
    const int t0 = closed_loop_pitch_search(e.at(0), x.data(), h.data(), r.delay_min, r.delay_max,
                                            0, &fraction);
    EXPECT_EQ(t0, want);
    EXPECT_GE(fraction, -1);
    EXPECT_LE(fraction, 1);
    expect_vector_for(before, e, 0, t0, fraction);
  }
}

// A history of period 5 matched by the target: every delay that is a
// multiple of 5 gives the same correlation, and the smallest wins.
TEST(ClosedLoopPitch, EqualCorrelationsKeepTheSmallerDelay) {
  const double pattern[5] = {3.0, -1.0, 0.0, 2.0, -2.0};
  for (auto [lo, want] : {std::pair{40, 40}, std::pair{41, 45}}) {
    Excitation e;
    for (int k = -154; k < 0; ++k) e.at(40)[k] = pattern[((k % 5) + 5) % 5];
    Vec x;
    for (int n = 0; n < 40; ++n) x[n] = pattern[n % 5];
    const Vec h = unit_impulse();
    int fraction = 0;
    EXPECT_EQ(closed_loop_pitch_search(e.at(40), x.data(), h.data(), lo, lo + 9, 40, &fraction),
              want);
  }
}

// d[n] = sum x[k] h[k - n]: with x a pulse at 10 and h = (1, 0.5), d has
// 1 at 10 and 0.5 at 9. c(55) = 1 + 0.5 * 1.2 beats c(56) = 1.2; the
// forward convolution (1.2 + 0.5) or a d without the lag (1.5 * 1.2) would
// have picked 56.
TEST(ClosedLoopPitch, TargetIsFilteredBackwards) {
  Excitation e;
  e.at(40)[-45] = 1.0;
  e.at(40)[-46] = 1.2;
  Vec x{};
  x[10] = 1.0;
  Vec h{};
  h[0] = 1.0;
  h[1] = 0.5;
  int fraction = 0;
  EXPECT_EQ(closed_loop_pitch_search(e.at(40), x.data(), h.data(), 50, 56, 40, &fraction), 55);
}

// Fractional refinement around a single past pulse. With the pulse at
// exc[10 - T], the interpolated vectors around sample 10 are taps of the
// filter: fraction 0 gives b[0] at 10 and b[3] one sample away; fraction -1
// gives b[2] at 9, b[1] at 10, b[4] at 11; fraction +1 the mirror image.
constexpr int kCentre = 10;

struct FractionCase {
  int t;
  int k;            // subframe start: 0 first subframe, 40 second
  double x_before;  // target at kCentre - 1
  double x_centre;  // at kCentre
  double x_after;   // at kCentre + 1
  int delay_min;
  int delay_max;
  int want_fraction;
  double want_centre;  // vector sample at kCentre
};

void run_fraction_case(const FractionCase& c) {
  Excitation e;
  e.at(c.k)[kCentre - c.t] = 1.0;
  Vec x{};
  x[kCentre - 1] = c.x_before;
  x[kCentre] = c.x_centre;
  x[kCentre + 1] = c.x_after;
  const Vec h = unit_impulse();
  const Excitation before = e;
  int fraction = 9;
  const int t0 = closed_loop_pitch_search(e.at(c.k), x.data(), h.data(), c.delay_min, c.delay_max,
                                          c.k, &fraction);
  EXPECT_EQ(t0, c.t);
  EXPECT_EQ(fraction, c.want_fraction);
  EXPECT_EQ(e.at(c.k)[kCentre], c.want_centre);
  expect_vector_for(before, e, c.k, t0, fraction);
}

TEST(ClosedLoopPitch, FractionScoresAllZeroKeepFractionZero) {
  // Zero target: all three scores are 0; the fraction-0 vector is restored.
  run_fraction_case({60, 40, 0.0, 0.0, 0.0, 60, 60, 0, b[0]});
}

TEST(ClosedLoopPitch, FractionMinusOneBeatsPlusOneOnEqualScores) {
  // Target on both neighbours: -1 and +1 both score b[2] + b[4], above
  // 2 b[3] for fraction 0. A one-delay range keeps T0 at the pulse.
  run_fraction_case({60, 40, 1.0, 0.0, 1.0, 60, 60, -1, b[1]});
}

TEST(ClosedLoopPitch, StrictlyBetterFractionIsTaken) {
  // +1: b[1] + 0.5 b[2] beats b[0] + 0.5 b[3]; the mirror picks -1.
  run_fraction_case({60, 40, 0.0, 1.0, 0.5, 57, 63, 1, b[1]});
  run_fraction_case({60, 40, 0.5, 1.0, 0.0, 57, 63, -1, b[1]});
}

TEST(ClosedLoopPitch, FirstSubframeAbove84HasNoFraction) {
  // 84 is still refined in the first subframe: +1 wins, P1 195.
  run_fraction_case({84, 0, 0.0, 1.0, 0.5, 81, 87, 1, b[1]});
  run_fraction_case({85, 0, 0.0, 1.0, 0.5, 82, 88, 0, b[0]});
  // The second subframe refines every delay.
  run_fraction_case({85, 40, 0.0, 1.0, 0.5, 82, 88, 1, b[1]});
  run_fraction_case({143, 40, 0.0, 1.0, 0.5, 134, 143, 1, b[1]});
}

}  // namespace
