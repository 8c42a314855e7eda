#include "codec/common/lp.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace {

using Lp = g729a::LpVector;
using Lsp = std::array<double, g729a::kLpOrder>;

const Lsp kInitialLsp = {0.9595,  0.8413,  0.6549,  0.4154,  0.1423,
                         -0.1423, -0.4154, -0.6549, -0.8413, -0.9595};

TEST(LevinsonDurbin, ImpulseAutocorrelationGivesTrivialFilter) {
  Lp r{};
  r[0] = 5.0;
  Lp a;
  std::array<double, 10> rc;
  const double err = g729a::levinson_durbin(r, a, rc);
  EXPECT_EQ(err, 5.0);
  EXPECT_EQ(a[0], 1.0);
  for (int i = 1; i <= 10; ++i) EXPECT_EQ(a[i], 0.0);
  for (double k : rc) EXPECT_EQ(k, 0.0);
}

TEST(LevinsonDurbin, FirstOrderProcessIsRecovered) {
  // r[k] = 0.9^k: an AR(1) process, so A(z) = 1 - 0.9 z^-1 and every further
  // reflection coefficient is zero.
  Lp r;
  for (int k = 0; k <= 10; ++k) r[k] = std::pow(0.9, k);
  Lp a;
  std::array<double, 10> rc;
  const double err = g729a::levinson_durbin(r, a, rc);
  EXPECT_NEAR(a[1], -0.9, 1e-12);
  for (int i = 2; i <= 10; ++i) EXPECT_NEAR(a[i], 0.0, 1e-12);
  EXPECT_NEAR(err, 1.0 - 0.81, 1e-12);
}

TEST(LevinsonDurbin, NonPositiveErrorIsFlooredAndTheRecursionGoesOn) {
  // r = (1, 0, 1, 0, ...): order 2 predicts perfectly, err reaches 0.
  Lp r{};
  r[0] = 1.0;
  r[2] = 1.0;
  Lp a;
  std::array<double, 10> rc;
  const double err = g729a::levinson_durbin(r, a, rc);
  EXPECT_EQ(rc[0], 0.0);
  EXPECT_EQ(rc[1], -1.0);
  EXPECT_EQ(rc[2], 0.0);  // s = 0 at order 3
  // Order 4: s = r[2]·a[2] = -1, divided by the floored 0.001.
  EXPECT_EQ(rc[3], 1000.0);
  EXPECT_EQ(err, 0.001);
  for (double v : a) EXPECT_TRUE(std::isfinite(v));
}

TEST(LspToLp, MatchesTheProductOfSecondOrderSections) {
  Lp a;
  g729a::lsp_to_lp(kInitialLsp, a);
  // F1(z) = (1 + z^-1) prod (1 - 2 q_even z^-1 + z^-2),
  // F2(z) = (1 - z^-1) prod (1 - 2 q_odd z^-1 + z^-2), A = (F1 + F2) / 2.
  std::vector<double> f1 = {1.0, 1.0}, f2 = {1.0, -1.0};
  auto multiply = [](const std::vector<double>& p, double q) {
    std::vector<double> out(p.size() + 2, 0.0);
    for (std::size_t i = 0; i < p.size(); ++i) {
      out[i] += p[i];
      out[i + 1] += -2.0 * q * p[i];
      out[i + 2] += p[i];
    }
    return out;
  };
  for (int i = 0; i < 10; i += 2) f1 = multiply(f1, kInitialLsp[i]);
  for (int i = 1; i < 10; i += 2) f2 = multiply(f2, kInitialLsp[i]);
  EXPECT_EQ(a[0], 1.0);
  for (int i = 1; i <= 10; ++i) EXPECT_NEAR(a[i], 0.5 * (f1[i] + f2[i]), 1e-12) << i;
}

TEST(LpToLsp, FlatFilterGivesEquallySpacedFrequencies) {
  Lp a{};
  a[0] = 1.0;
  Lsp lsp;
  g729a::lp_to_lsp(a, kInitialLsp, lsp);
  for (int k = 1; k <= 10; ++k) {
    EXPECT_NEAR(lsp[k - 1], std::cos(k * std::numbers::pi / 11.0), 2e-3) << k;
  }
}

TEST(LpToLsp, RoundTripReproducesAStableFilter) {
  Lp a;
  g729a::lsp_to_lp(kInitialLsp, a);
  Lsp lsp;
  Lsp previous;
  previous.fill(0.123);
  g729a::lp_to_lsp(a, previous, lsp);
  for (int i = 0; i < 10; ++i) EXPECT_NEAR(lsp[i], kInitialLsp[i], 2e-3) << i;
  Lp back;
  g729a::lsp_to_lp(lsp, back);
  for (int i = 0; i <= 10; ++i) EXPECT_NEAR(back[i], a[i], 2e-2) << i;
}

TEST(LpToLsp, FailedSearchReturnsThePreviousVectorExactly) {
  Lsp previous = {0.91, 0.81, 0.71, 0.61, 0.51, 0.41, 0.31, 0.21, 0.11, 0.01};
  Lsp lsp;
  Lp nan_filter{};
  nan_filter[0] = 1.0;
  nan_filter[3] = std::numeric_limits<double>::quiet_NaN();
  g729a::lp_to_lsp(nan_filter, previous, lsp);
  EXPECT_EQ(lsp, previous);

  // A strongly non-minimum-phase filter: its roots leave the unit circle,
  // so the grid finds fewer than ten sign changes.
  Lp unstable{};
  unstable[0] = 1.0;
  unstable[10] = 3.0;
  g729a::lp_to_lsp(unstable, previous, lsp);
  EXPECT_EQ(lsp, previous);
}

TEST(LpToLsp, RootInterpolation) {
  EXPECT_DOUBLE_EQ(g729a::lsp_root_interpolate(0.0, -1.0, 1.0, 1.0), 0.5);
  EXPECT_DOUBLE_EQ(g729a::lsp_root_interpolate(0.2, 0.0, 0.4, 3.0), 0.2);
  // Both ends exactly zero: defined, finite, the lower end.
  EXPECT_EQ(g729a::lsp_root_interpolate(0.3, 0.0, 0.5, 0.0), 0.3);
  EXPECT_EQ(g729a::lsp_root_interpolate(0.3, -0.0, 0.5, 0.0), 0.3);
}

TEST(LspInterpolation, FirstSubframeTakesTheMidpoint) {
  const Lsp previous = {0.9595,  0.8413,  0.6549,  0.4154,  0.1423,
                        -0.1423, -0.4154, -0.6549, -0.8413, -0.9595};
  Lsp other;
  for (int i = 0; i < 10; ++i) other[i] = std::cos((i + 1) * M_PI / 11);
  std::array<Lp, 2> aq;
  g729a::lsp_interpolate(previous, other, aq);
  Lsp mid;
  for (int i = 0; i < 10; ++i) mid[i] = 0.5 * previous[i] + 0.5 * other[i];
  Lp expected_mid;
  Lp expected_new;
  g729a::lsp_to_lp(mid, expected_mid);
  g729a::lsp_to_lp(other, expected_new);
  EXPECT_EQ(aq[0], expected_mid);
  EXPECT_EQ(aq[1], expected_new);
}

}  // namespace
