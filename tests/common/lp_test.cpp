#include "codec/common/lp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "codec/common/tables.h"

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

// The grid scan as a plain loop, one polynomial value per step: the search
// must find exactly the roots this does, ties and fallbacks included.
double plain_chebyshev(double x, const double* f) {
  const double x2 = 2.0 * x;
  double b2 = 1.0;
  double b1 = x2 + f[1];
  for (int k = 2; k <= 4; ++k) {
    const double b0 = x2 * b1 - b2 + f[k];
    b2 = b1;
    b1 = b0;
  }
  return x * b1 - b2 + 0.5 * f[5];
}

// *adjacent_roots (when given) counts the roots found in the rest of the
// interval of the root before, where the polynomial's values at the
// interval's grid ends share their sign: it changes sign twice in there.
Lsp plain_lp_to_lsp(const Lp& a, const Lsp& previous, int* adjacent_roots = nullptr) {
  double f1[6], f2[6];
  f1[0] = 1.0;
  f2[0] = 1.0;
  for (int i = 1; i <= 5; ++i) {
    f1[i] = a[i] + a[11 - i] - f1[i - 1];
    f2[i] = a[i] - a[11 - i] + f2[i - 1];
  }
  const double* poly[2] = {f1, f2};
  int current = 0, nf = 0, j = 0;
  double x_lo = g729a::lsp_grid[0];
  double y_lo = plain_chebyshev(x_lo, poly[current]);
  Lsp roots{};
  bool after_root = false;
  while (nf < 10 && j < g729a::lsp_grid_size - 1) {
    ++j;
    double x_hi = x_lo, y_hi = y_lo;
    x_lo = g729a::lsp_grid[j];
    y_lo = plain_chebyshev(x_lo, poly[current]);
    if (y_lo * y_hi <= 0.0) {
      if (after_root && adjacent_roots != nullptr &&
          plain_chebyshev(g729a::lsp_grid[j - 1], poly[current]) * y_lo > 0.0) {
        ++*adjacent_roots;
      }
      --j;
      for (int step = 0; step < 2; ++step) {
        const double x_mid = 0.5 * (x_lo + x_hi);
        const double y_mid = plain_chebyshev(x_mid, poly[current]);
        if (y_lo * y_mid <= 0.0) {
          x_hi = x_mid;
          y_hi = y_mid;
        } else {
          x_lo = x_mid;
          y_lo = y_mid;
        }
      }
      const double x_int = g729a::lsp_root_interpolate(x_lo, y_lo, x_hi, y_hi);
      roots[nf++] = x_int;
      current ^= 1;
      x_lo = x_int;
      y_lo = plain_chebyshev(x_lo, poly[current]);
      after_root = true;
    } else {
      after_root = false;
    }
  }
  return nf < 10 ? previous : roots;
}

TEST(LpToLsp, FindsExactlyThePlainGridScansRoots) {
  std::mt19937_64 rng(729);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const Lsp previous = {0.9, 0.8, 0.7, 0.6, 0.5, 0.4, 0.3, 0.2, 0.1, 0.0};
  int crowded = 0;
  int fallbacks = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    Lp a;
    if (trial % 3 == 2) {
      // Arbitrary coefficients: often unstable, so fewer than ten roots.
      a[0] = 1.0;
      for (int k = 1; k <= 10; ++k) a[k] = 4.0 * unit(rng) - 2.0;
    } else {
      // A stable filter from sorted frequencies; every other trial puts
      // neighbours closer than a grid step, so two roots (one of each
      // polynomial) fall in one grid interval.
      std::array<double, 10> w;
      for (double& v : w) v = std::numbers::pi * (0.02 + 0.96 * unit(rng));
      std::sort(w.begin(), w.end());
      if (trial % 3 == 1) {
        const int i = static_cast<int>(unit(rng) * 9);
        w[i + 1] = w[i] + 0.002 + 0.01 * unit(rng);
        // Every other such trial crowds three, so that one polynomial can
        // change sign twice in the interval where the other has a root.
        if (trial % 2 == 1 && i < 8) w[i + 2] = w[i + 1] + 0.002 + 0.01 * unit(rng);
        std::sort(w.begin(), w.end());
        ++crowded;
      }
      Lsp q;
      for (int i = 0; i < 10; ++i) q[i] = std::cos(w[i]);
      g729a::lsp_to_lp(q, a);
    }
    Lsp got;
    g729a::lp_to_lsp(a, previous, got);
    const Lsp want = plain_lp_to_lsp(a, previous);
    if (want == previous) ++fallbacks;
    for (int i = 0; i < 10; ++i) {
      ASSERT_EQ(std::bit_cast<std::uint64_t>(got[i]), std::bit_cast<std::uint64_t>(want[i]))
          << "trial " << trial << " root " << i;
    }
  }
  // A sum polynomial that is exactly zero at the grid point 0: both
  // intervals around it count as sign changes (product <= 0).
  const Lp zero_at_grid = {1.0,    0.25,   0.125, 0.125, 0.0625, 0.3125,
                           0.3125, 0.0625, 0.125, 0.125, 0.25};
  Lsp got;
  g729a::lp_to_lsp(zero_at_grid, previous, got);
  const Lsp want = plain_lp_to_lsp(zero_at_grid, previous);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(got[i]), std::bit_cast<std::uint64_t>(want[i])) << i;
  }
  // The draw covered both the crowded intervals and the fallback.
  EXPECT_GT(crowded, 500);
  EXPECT_GT(fallbacks, 100);
}

// Three neighbouring frequencies in one grid interval: after the middle
// one's root, the other polynomial changes sign again before the interval
// ends although its values at both grid ends share their sign. The search
// must find that root where the plain scan does, not at the next interval.
TEST(LpToLsp, FindsARootBesideTheLastOneWhereTheGridEndsShareTheirSign) {
  std::mt19937_64 rng(143);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const Lsp previous = {0.9, 0.8, 0.7, 0.6, 0.5, 0.4, 0.3, 0.2, 0.1, 0.0};
  int cases = 0;
  for (int trial = 0; trial < 2000000 && cases < 20; ++trial) {
    std::array<double, 10> w;
    for (double& v : w) v = std::numbers::pi * (0.02 + 0.96 * unit(rng));
    std::sort(w.begin(), w.end());
    const int i = static_cast<int>(unit(rng) * 8);
    w[i + 1] = w[i] + 0.001 + 0.01 * unit(rng);
    w[i + 2] = w[i + 1] + 0.001 + 0.01 * unit(rng);
    std::sort(w.begin(), w.end());
    Lsp q;
    for (int k = 0; k < 10; ++k) q[k] = std::cos(w[k]);
    Lp a;
    g729a::lsp_to_lp(q, a);
    int adjacent = 0;
    const Lsp want = plain_lp_to_lsp(a, previous, &adjacent);
    // A fallback hides where the root was found: only full sets count.
    if (adjacent == 0 || want == previous) continue;
    ++cases;
    Lsp got;
    g729a::lp_to_lsp(a, previous, got);
    for (int k = 0; k < 10; ++k) {
      ASSERT_EQ(std::bit_cast<std::uint64_t>(got[k]), std::bit_cast<std::uint64_t>(want[k]))
          << "trial " << trial << " root " << k;
    }
  }
  EXPECT_EQ(cases, 20);
}

}  // namespace
