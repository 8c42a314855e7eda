#include "codec/common/lp_filter.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

namespace {

using Lp = std::array<double, 11>;

TEST(LpVector, FirstOrderSynthesisDecaysGeometrically) {
  // 1/(1 - 0.5 z^-1): the impulse response is 0.5^n, exact in binary.
  Lp a{};
  a[0] = 1.0;
  a[1] = -0.5;
  std::array<double, 10 + 40> y{};
  std::array<double, 40> x{};
  x[0] = 1.0;
  g729a::lp_synthesis(a, x.data(), y.data() + 10, 40);
  for (int n = 0; n < 40; ++n) EXPECT_EQ(y[10 + n], std::ldexp(1.0, -n)) << n;

  // Zero input continues from the past output in front of y.
  y.fill(0.0);
  y[9] = 4.0;
  x.fill(0.0);
  g729a::lp_synthesis(a, x.data(), y.data() + 10, 40);
  for (int n = 0; n < 40; ++n) EXPECT_EQ(y[10 + n], std::ldexp(4.0, -(n + 1))) << n;
}

TEST(LpVector, ResidualReachesTenSamplesBack) {
  std::array<double, 10 + 40> x{};  // ten older samples, then the block
  x[9] = 4.0;                       // x[-1]
  x[0] = 8.0;                       // x[-10]
  x[10] = 1.0;
  Lp a{};
  a[0] = 1.0;
  a[1] = 0.5;
  a[10] = 0.25;
  std::array<double, 40> y;
  g729a::lp_residual(a, x.data() + 10, y.data(), 40);
  EXPECT_EQ(y[0], 1.0 + 0.5 * 4.0 + 0.25 * 8.0);
  EXPECT_EQ(y[1], 0.5 * 1.0);
  EXPECT_EQ(y[2], 0.0);
  EXPECT_EQ(y[10], 0.25 * 1.0);
  EXPECT_EQ(y[11], 0.0);
}

TEST(LpVector, SynthesisUndoesResidualExactly) {
  // Integer samples and coefficients in eighths keep every sum exact, so
  // 1/A(z) must give back the input bit for bit when both filters read the
  // same ten samples of history.
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> sample(-32768, 32767);
  std::uniform_int_distribution<int> eighths(-12, 12);
  for (int trial = 0; trial < 20; ++trial) {
    Lp a{};
    a[0] = 1.0;
    for (int k = 1; k <= 10; ++k) a[k] = eighths(rng) / 8.0;
    if (trial == 0) a = {1.0, 0.5, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    std::array<double, 10 + 40> x;
    for (double& v : x) v = sample(rng);
    std::array<double, 40> e;
    g729a::lp_residual(a, x.data() + 10, e.data(), 40);
    std::array<double, 10 + 40> y{};
    for (int i = 0; i < 10; ++i) y[i] = x[i];
    g729a::lp_synthesis(a, e.data(), y.data() + 10, 40);
    EXPECT_EQ(y, x) << trial;
  }
}

TEST(LpVector, SynthesisInPlaceMatchesSeparateBuffers) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Lp a{};
  a[0] = 1.0;
  for (int k = 1; k <= 10; ++k) a[k] = 0.3 * u(rng);
  std::array<double, 10 + 30> in_place;
  for (double& v : in_place) v = u(rng);
  std::array<double, 10 + 30> separate = in_place;
  const std::array<double, 10 + 30> input = in_place;
  g729a::lp_synthesis(a, in_place.data() + 10, in_place.data() + 10, 30);
  g729a::lp_synthesis(a, input.data() + 10, separate.data() + 10, 30);
  EXPECT_EQ(in_place, separate);
}

TEST(LpVector, TermsJoinTheRunningValueInIncreasingOrder) {
  // x[n] + 2^53 rounds the 1 away before -2^53 comes; summing the taps
  // first, or in decreasing k, would keep it.
  const double big = std::ldexp(1.0, 53);
  Lp a{};
  a[0] = 1.0;
  a[1] = 1.0;
  a[2] = -1.0;
  std::array<double, 11> x{};
  x[9] = big;   // x[-1]
  x[8] = big;   // x[-2]
  x[10] = 1.0;  // x[0]
  double r = -1.0;
  g729a::lp_residual(a, x.data() + 10, &r, 1);
  EXPECT_EQ(r, 0.0);

  // The same for the synthesis filter, whose terms are subtracted.
  a[1] = -1.0;
  a[2] = 1.0;
  std::array<double, 11> y{};
  y[9] = big;
  y[8] = big;
  const double one = 1.0;
  g729a::lp_synthesis(a, &one, y.data() + 10, 1);
  EXPECT_EQ(y[10], 0.0);
}

}  // namespace
