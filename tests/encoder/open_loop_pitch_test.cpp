#include "codec/encoder/open_loop_pitch.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "codec/reference/encoder_stages.h"

namespace g729a {
namespace {

// 143 past samples and the 80 of the frame; s points at the frame.
struct WeightedSpeech {
  std::array<double, 223> buffer{};
  double* s() { return buffer.data() + 143; }
};

// Rounded pulses of period `period` (wide enough that sampling every second
// sample still sees each of them).
WeightedSpeech pulse_train(double period, double phase = 0.0) {
  WeightedSpeech w;
  for (int n = -143; n < 80; ++n) {
    double v = 0.0;
    for (int k = -3; k <= 3; ++k) {
      const double centre = phase + std::round((n - phase) / period) * period + k * period;
      const double d = n - centre;
      v += 1000.0 * std::exp(-d * d / 2.0);
    }
    w.s()[n] = v;
  }
  return w;
}

// Every searched delay's correlation is the plain sum over the even samples
// of the frame, at its place in the array.
TEST(OpenLoopPitchTest, CorrelationsOfEverySearchedDelayInTheirPlaces) {
  WeightedSpeech w;
  for (int n = -143; n < 80; ++n) w.s()[n] = std::sin(0.37 * n) * 1000.0 + (n % 7) * 0.001;
  std::array<double, kOpenLoopDelays> c;
  open_loop_correlations(w.s(), c);
  const auto plain = [&](int t) {
    double sum = 0.0;
    for (int n = 0; n < 80; n += 2) sum += w.s()[n] * w.s()[n - t];
    return sum;
  };
  for (int t = 20; t <= 79; ++t) EXPECT_EQ(c[t - 20], plain(t)) << "delay " << t;
  for (int t = 80; t <= 142; t += 2) EXPECT_EQ(c[60 + (t - 80) / 2], plain(t)) << "delay " << t;
}

TEST(OpenLoopPitchTest, SilenceGivesTheSmallestDelay) {
  WeightedSpeech w;
  EXPECT_EQ(open_loop_pitch(w.s()), 20);
}

TEST(OpenLoopPitchTest, FindsThePeriodAtTheEndsOfEachSection) {
  for (int period : {20, 21, 22, 39, 40, 41, 55, 79, 80, 81, 100, 141, 142, 143}) {
    WeightedSpeech w = pulse_train(period, 7.0);
    EXPECT_EQ(open_loop_pitch(w.s()), period) << "period " << period;
  }
}

TEST(OpenLoopPitchTest, OddDelaysOfTheThirdSectionComeFromTheRefinement) {
  for (int period : {81, 99, 121, 143}) {
    WeightedSpeech w = pulse_train(period, 2.0);
    EXPECT_EQ(open_loop_pitch(w.s()), period) << "period " << period;
  }
}

TEST(OpenLoopPitchTest, CorrelationTiesKeepTheSmallestDelay) {
  // A constant signal correlates equally at every delay; the favouring of
  // shorter delays then keeps section 1's first delay.
  WeightedSpeech w;
  w.buffer.fill(100.0);
  EXPECT_EQ(open_loop_pitch(w.s()), 20);
}

TEST(OpenLoopPitchTest, OnlyEvenSamplesOfTheFrameCount) {
  // Energy only on odd samples of the frame: every correlation is 0.
  WeightedSpeech w;
  for (int n = 1; n < 80; n += 2) w.s()[n] = 5000.0;
  for (int n = -143; n < 0; ++n) w.s()[n] = (n % 7) * 300.0;
  EXPECT_EQ(open_loop_pitch(w.s()), 20);
}

TEST(OpenLoopPitchTest, ShorterDelayWinsOverItsMultiple) {
  // Period 50 repeats at 100: sections 2 and 3 see the same correlation,
  // and section 2 is favoured.
  WeightedSpeech w = pulse_train(50, 3.0);
  EXPECT_EQ(open_loop_pitch(w.s()), 50);
  WeightedSpeech v = pulse_train(41, 3.0);
  EXPECT_EQ(open_loop_pitch(v.s()), 41);
}

}  // namespace
}  // namespace g729a
