#include "codec/common/adaptive_codebook.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

#include "codec/common/tables.h"

namespace {

// The three interpolation formulas of the closed-loop search, written out
// per fraction: the shared routine must compute exactly the same sums.
double reference_sample(const double* exc, int j, int t0, int f) {
  const double* b = g729a::pitch_interp_filter;
  double v = 0.0;
  for (int k = 0; k < 10; ++k) {
    if (f == 0) {
      v += exc[j - t0 - k] * b[3 * k] + exc[j - t0 + 1 + k] * b[3 + 3 * k];
    } else if (f == -1) {
      v += exc[j - t0 - k] * b[1 + 3 * k] + exc[j - t0 + 1 + k] * b[2 + 3 * k];
    } else {
      v += exc[j - t0 - 1 - k] * b[2 + 3 * k] + exc[j - t0 + k] * b[1 + 3 * k];
    }
  }
  return v;
}

TEST(AdaptiveCodebook, AgreesWithThePerFractionFormulas) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> dist(-3000.0, 3000.0);
  for (int t0 : {19, 20, 21, 39, 40, 49, 50, 85, 142, 143}) {
    for (int f : {-1, 0, 1}) {
      std::array<double, 154 + 40> shared{}, reference{};
      for (int i = 0; i < 154 + 40; ++i) shared[i] = reference[i] = dist(rng);
      g729a::adaptive_codebook_vector(shared.data() + 154, t0, f);
      for (int j = 0; j < 40; ++j) {
        // written sample by sample so later outputs read earlier ones
        reference[154 + j] = reference_sample(reference.data() + 154, j, t0, f);
      }
      for (int j = 0; j < 40; ++j) {
        ASSERT_EQ(shared[154 + j], reference[154 + j]) << "T0 " << t0 << " f " << f << " j " << j;
      }
      for (int i = 0; i < 154; ++i) ASSERT_EQ(shared[i], reference[i]) << "history changed";
    }
  }
}

TEST(AdaptiveCodebook, ShortDelaysRepeatTheVector) {
  // With a constant history the interpolated vector is constant (the filter
  // taps sum to about 1 at each phase), including samples that read outputs
  // of this same vector.
  std::array<double, 154 + 40> exc{};
  exc.fill(1000.0);
  g729a::adaptive_codebook_vector(exc.data() + 154, 20, 0);
  for (int j = 0; j < 40; ++j) EXPECT_NEAR(exc[154 + j], 1000.0, 30.0) << j;
}

TEST(AdaptiveCodebook, LongestDelayStaysInsideTheHistory) {
  // T = 144 with f = -1 reads 153 samples back and no further: the sample
  // there influences the output, the one before it is never read.
  std::array<double, 154 + 40> exc{};
  exc[0] = 1e300;  // 154 back
  exc[1] = 1.0;    // 153 back
  g729a::adaptive_codebook_vector(exc.data() + 154, 144, -1);
  double total = 0.0;
  for (int j = 0; j < 40; ++j) total += std::abs(exc[154 + j]);
  EXPECT_GT(total, 0.0);
  EXPECT_LT(total, 10.0);
}

TEST(PitchSharpening, GainIsBoundedToTheClosedRange) {
  using g729a::bound_pitch_sharpening;
  EXPECT_EQ(bound_pitch_sharpening(1.2), 0.7945);
  EXPECT_EQ(bound_pitch_sharpening(std::nextafter(0.7945, 1.0)), 0.7945);
  EXPECT_EQ(bound_pitch_sharpening(0.7945), 0.7945);
  EXPECT_EQ(bound_pitch_sharpening(0.5), 0.5);
  EXPECT_EQ(bound_pitch_sharpening(0.2), 0.2);
  EXPECT_EQ(bound_pitch_sharpening(std::nextafter(0.2, 0.0)), 0.2);
  EXPECT_EQ(bound_pitch_sharpening(0.1), 0.2);
  EXPECT_EQ(bound_pitch_sharpening(0.0), 0.2);
}

}  // namespace
