// Each vector kernel of the shared core against the scalar path, bit for
// bit, over varied inputs and the edges of its index ranges.
#include "support/simd_paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "codec/common/adaptive_codebook.h"
#include "codec/common/lp.h"
#include "codec/common/lp_filter.h"
#include "codec/simd/lanes.h"

namespace {

using testsupport::expect_every_path_matches_scalar;
using testsupport::varied_signal;

std::array<double, 11> varied_filter(unsigned seed) {
  const auto v = varied_signal(11, seed, 0.5);
  std::array<double, 11> a;
  a[0] = 1.0;
  for (int k = 1; k < 11; ++k) a[k] = v[k];
  return a;
}

TEST(SimdPaths, LaggedSumsAtEveryCountStrideAndLength) {
  const auto signal = varied_signal(1000, 1);
  const double* a = signal.data() + 300;
  for (int stride : {1, 2}) {
    for (int length : {1, 3, 40, 42, 240}) {
      for (int count = 1; count <= 41; ++count) {  // every mix of 16, 12, 8, 4 and rest
        expect_every_path_matches_scalar(
            [&] {
              std::vector<double> out(count);
              g729a::lagged_sums(a, a - 20, stride, length, count, out.data());
              return out;
            },
            "lagged_sums");
      }
    }
  }
}

TEST(SimdPaths, DotProduct) {
  for (unsigned seed = 0; seed < 20; ++seed) {
    const auto a = varied_signal(40, seed + 800);
    const auto b = seed % 2 ? a : varied_signal(40, seed + 900);
    const double start = seed % 3 == 0 ? 0.0 : 0.01;
    expect_every_path_matches_scalar(
        [&] { return std::vector<double>{g729a::dot_product(start, a.data(), b.data())}; },
        "dot_product");
  }
}

// Values with repeats, NaNs and the starting bound itself, at every count
// round the group widths: the first strict extreme, as a plain loop finds it.
TEST(SimdPaths, FirstExtremesKeepTheEarliest) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (unsigned seed = 0; seed < 12; ++seed) {
    auto v = varied_signal(70, seed + 1000, 5.0);
    for (std::size_t i = 0; i < v.size(); ++i) {
      if (seed % 3 == 0) v[i] = std::round(v[i]);  // many exact ties, +0 and -0
      if (seed % 4 == 1 && i % 7 == 3) v[i] = nan;
      if (seed % 5 == 2 && i % 11 == 5) v[i] = i % 2 ? inf : -inf;
    }
    const double bound = seed % 2 ? 1e38 : 2.0;
    for (int count = 0; count <= 70; ++count) {
      for (bool minimum : {true, false}) {
        const double start = minimum ? bound : -bound;
        double plain_best = start;
        int plain_index = -1;
        for (int i = 0; i < count; ++i) {
          if (minimum ? v[i] < plain_best : v[i] > plain_best) {
            plain_best = v[i];
            plain_index = i;
          }
        }
        expect_every_path_matches_scalar(
            [&] {
              double best = start;
              const int index = minimum ? g729a::first_minimum(v.data(), count, &best)
                                        : g729a::first_maximum(v.data(), count, &best);
              EXPECT_EQ(index, plain_index) << count;
              EXPECT_EQ(best, plain_best) << count;
              return std::vector<double>{static_cast<double>(index), best};
            },
            "first_extreme");
      }
    }
  }
}

TEST(SimdPaths, TwoEnergies) {
  for (unsigned seed = 0; seed < 20; ++seed) {
    const auto x = varied_signal(80, seed);
    expect_every_path_matches_scalar(
        [&] {
          std::vector<double> e(2);
          g729a::two_energies(x.data(), x.data() + 40, 0.5, &e[0], &e[1]);
          return e;
        },
        "two_energies");
  }
}

// Runs side by side, in place or not, with their own memories: each as
// lp_synthesis alone gives it, at every count and round every step length.
TEST(SimdPaths, SynthesisRunsEqualSingleRuns) {
  for (unsigned seed = 0; seed < 6; ++seed) {
    std::array<std::array<double, 11>, 4> a;
    std::array<std::vector<double>, 4> x;
    for (int r = 0; r < 4; ++r) {
      a[r] = varied_filter(seed * 4 + r + 40);
      x[r] = varied_signal(91, seed * 4 + r + 60);
    }
    for (int count = 1; count <= 4; ++count) {
      for (int length : {1, 9, 10, 11, 22, 40, 80, 81}) {
        std::array<std::vector<double>, 4> single;
        for (int r = 0; r < count; ++r) {
          single[r] = x[r];  // memory x[0..9], output in place from 10
          g729a::lp_synthesis(a[r], single[r].data() + 10, single[r].data() + 10, length);
        }
        expect_every_path_matches_scalar(
            [&] {
              std::array<std::vector<double>, 4> y = x;
              std::vector<g729a::SynthesisRun> runs;
              for (int r = 0; r < count; ++r) {
                // Even runs in place, odd ones from x into y.
                const double* in = r % 2 ? x[r].data() + 10 : y[r].data() + 10;
                runs.push_back({&a[r], in, y[r].data() + 10});
              }
              g729a::lp_synthesis_runs(runs, length);
              std::vector<double> out;
              for (int r = 0; r < count; ++r) {
                EXPECT_TRUE(testsupport::same_bits(y[r], single[r]))
                    << "run " << r << " of " << count << ", length " << length;
                out.insert(out.end(), y[r].begin(), y[r].end());
              }
              return out;
            },
            "lp_synthesis_runs");
      }
    }
  }
}

TEST(SimdPaths, LpFiltersAtEveryLength) {
  for (unsigned seed = 0; seed < 10; ++seed) {
    const auto a = varied_filter(seed);
    const auto x = varied_signal(50, seed + 100);
    for (int length : {1, 2, 3, 5, 9, 10, 11, 19, 22, 40}) {
      expect_every_path_matches_scalar(
          [&] {
            std::vector<double> y(50, 0.0);
            g729a::lp_residual(a, x.data() + 10, y.data() + 10, length);
            return y;
          },
          "lp_residual");
      expect_every_path_matches_scalar(
          [&] {
            // Past outputs from the signal; filtered in place as the
            // post-filter's impulse response is.
            std::vector<double> y(x);
            g729a::lp_synthesis(a, y.data() + 10, y.data() + 10, length);
            return y;
          },
          "lp_synthesis");
      const auto b = varied_filter(seed + 50);
      const auto u = varied_signal(50, seed + 200);
      std::vector<double> alone0(x);
      std::vector<double> alone1(u);
      {
        testsupport::ForcedPath scalar(g729a::SimdPath::Scalar);
        g729a::lp_synthesis(a, x.data() + 10, alone0.data() + 10, length);
        g729a::lp_synthesis(b, u.data() + 10, alone1.data() + 10, length);
      }
      expect_every_path_matches_scalar(
          [&] {
            std::vector<double> y0(x);
            std::vector<double> y1(u);
            g729a::lp_synthesis_pair(a, x.data() + 10, y0.data() + 10, b, u.data() + 10,
                                     y1.data() + 10, length);
            EXPECT_TRUE(testsupport::same_bits(y0, alone0) && testsupport::same_bits(y1, alone1))
                << "a pair differs from its filters run alone, length " << length;
            y0.insert(y0.end(), y1.begin(), y1.end());
            return y0;
          },
          "lp_synthesis_pair");
    }
  }
}

TEST(SimdPaths, AdaptiveCodebookVectorAtEveryDelayAndFraction) {
  // Delays below 14 read samples of their own group: they stay one by one.
  for (int T = 10; T <= 143; ++T) {
    for (int f = -1; f <= 1; ++f) {
      const auto history = varied_signal(234, static_cast<unsigned>(T * 3 + f + 1));
      expect_every_path_matches_scalar(
          [&] {
            std::vector<double> exc(history);
            g729a::adaptive_codebook_vector(exc.data() + 154, T, f);
            return exc;
          },
          "adaptive_codebook_vector");
    }
  }
}

}  // namespace

namespace {

TEST(SimdPaths, LspInterpolationEqualsTwoConversions) {
  for (unsigned seed = 0; seed < 40; ++seed) {
    // Ordered cosines as the codec has them, and unordered, zero and
    // out-of-range values, which the arithmetic takes all the same.
    auto previous = varied_signal(10, seed + 600, seed < 20 ? 0.999 : 3.0);
    auto next = varied_signal(10, seed + 700, seed < 20 ? 0.999 : 3.0);
    if (seed < 20) {
      std::sort(previous.rbegin(), previous.rend());
      std::sort(next.rbegin(), next.rend());
    }
    if (seed == 25) previous.assign(10, 0.0);
    expect_every_path_matches_scalar(
        [&] {
          std::array<g729a::LpVector, 2> a;
          g729a::lsp_interpolate(std::span<const double, 10>(previous.data(), 10),
                                 std::span<const double, 10>(next.data(), 10), a);
          std::array<double, 10> mid;
          for (int i = 0; i < 10; ++i) mid[i] = 0.5 * previous[i] + 0.5 * next[i];
          g729a::LpVector a0, a1;
          g729a::lsp_to_lp(mid, a0);
          g729a::lsp_to_lp(std::span<const double, 10>(next.data(), 10), a1);
          EXPECT_TRUE(testsupport::same_bits({a[0].begin(), a[0].end()}, {a0.begin(), a0.end()}));
          EXPECT_TRUE(testsupport::same_bits({a[1].begin(), a[1].end()}, {a1.begin(), a1.end()}));
          std::vector<double> out(a[0].begin(), a[0].end());
          out.insert(out.end(), a[1].begin(), a[1].end());
          return out;
        },
        "lsp_interpolate");
  }
}

}  // namespace
