#include "codec/encoder/subframe.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "codec/reference/encoder_stages.h"

namespace g729a {
namespace {

LpVector first_order(double a1) {
  LpVector ap{};
  ap[0] = 1.0;
  ap[1] = a1;
  return ap;
}

TEST(SubframeTest, ImpulseResponseOfAFirstOrderFilter) {
  // 1 / (1 - 0.5 z^-1): h[n] = 0.5^n, exactly representable.
  std::array<double, 40> h;
  impulse_response(first_order(-0.5), h.data());
  double expected = 1.0;
  for (int n = 0; n < 40; ++n) {
    EXPECT_EQ(h[n], expected) << n;
    expected *= 0.5;
  }
}

TEST(SubframeTest, BackwardFilterCorrelatesOnlyForwardSamples) {
  // A pulse at the last target sample meets h reversed: d[n] = h[39 - n].
  std::array<double, 40> x{};
  x[39] = 2.0;
  std::array<double, 40> h;
  for (int n = 0; n < 40; ++n) h[n] = n + 1.0;
  std::array<double, 40> d;
  backward_filter(x.data(), h.data(), d.data());
  for (int n = 0; n < 40; ++n) EXPECT_EQ(d[n], 2.0 * (40 - n)) << n;

  // With h a unit impulse, d is the target itself; with x a pulse at 0 only
  // d[0] sees it.
  std::array<double, 40> impulse{};
  impulse[0] = 1.0;
  backward_filter(h.data(), impulse.data(), d.data());
  EXPECT_EQ(d, h);
  backward_filter(impulse.data(), h.data(), d.data());
  EXPECT_EQ(d[0], 1.0);
  for (int n = 1; n < 40; ++n) EXPECT_EQ(d[n], 0.0) << n;
}

TEST(SubframeTest, SynthesisStartsFromTheNewestMemorySample) {
  std::array<double, 10> memory{};
  memory[9] = 8.0;  // newest
  memory[8] = 1000.0;
  std::array<double, 40> u{};
  std::array<double, 40> y;
  weighted_synthesis(u.data(), first_order(-0.5), memory, y.data());
  EXPECT_EQ(y[0], 4.0);
  EXPECT_EQ(y[1], 2.0);
  EXPECT_EQ(y[39], 8.0 * std::ldexp(1.0, -40));

  // Tenth coefficient reaches the oldest memory sample for n = 0.
  LpVector ap{};
  ap[0] = 1.0;
  ap[10] = -1.0;
  memory.fill(0.0);
  memory[0] = 3.0;
  weighted_synthesis(u.data(), ap, memory, y.data());
  EXPECT_EQ(y[0], 3.0);
  EXPECT_EQ(y[1], 0.0);
  EXPECT_EQ(y[10], 3.0);
}

TEST(SubframeTest, AdaptiveGainBounds) {
  std::array<double, 40> x{};
  std::array<double, 40> y1{};
  y1[0] = 10.0;
  double g0 = 0.0;
  double g1 = 0.0;

  x[0] = -3.0;  // xy < 0
  EXPECT_EQ(adaptive_gain(x.data(), y1.data(), &g0, &g1), 0.0);
  EXPECT_EQ(g0, 0.01 + 100.0);
  EXPECT_EQ(g1, -2 * -30.0 + 0.01);

  x[0] = 0.0;  // xy = 0
  EXPECT_EQ(adaptive_gain(x.data(), y1.data(), &g0, &g1), 0.0);

  x[0] = 15.0 + 0.0015;  // xy / yy = 1.5
  EXPECT_EQ(adaptive_gain(x.data(), y1.data(), &g0, &g1), 1.2);

  x[0] = 5.0;
  EXPECT_EQ(adaptive_gain(x.data(), y1.data(), &g0, &g1), 50.0 / 100.01);
}

TEST(SubframeTest, GainCorrelationsStartFromTheirConstants) {
  std::array<double, 40> x{};
  std::array<double, 40> y1{};
  std::array<double, 40> y2{};
  std::array<double, 5> g{};
  gain_correlations(x.data(), y1.data(), y2.data(), g.data());
  EXPECT_EQ(g[2], 0.01);
  EXPECT_EQ(g[3], -0.02);
  EXPECT_EQ(g[4], 0.02);

  // The 0.01 enters the running sums first: 0.01 + 1e17 - 1e17 keeps nothing
  // of it, (1e17 - 1e17) + 0.01 would.
  x[0] = 1e17;
  x[1] = -1e17;
  y2[0] = 1.0;
  y2[1] = 1.0;
  y1 = x;
  gain_correlations(x.data(), y1.data(), y2.data(), g.data());
  EXPECT_EQ(g[3], 0.0);
  EXPECT_EQ(g[4], 0.0);
}

TEST(SubframeTest, TargetMemoryKeepsTheLastTenErrorsFlushed) {
  std::array<double, 40> x{};
  std::array<double, 40> y1{};
  std::array<double, 40> y2{};
  x[29] = 5.0;  // outside the last ten
  x[30] = 1.9e-5;
  x[31] = 2.0e-5;
  x[32] = -1.9e-5;
  x[39] = 10.0;
  y1[39] = 4.0;
  y2[39] = 1.0;
  std::array<double, 10> memory;
  memory.fill(7.0);
  update_target_memory(x.data(), y1.data(), y2.data(), 0.5, 2.0, memory);
  EXPECT_EQ(memory[0], 0.0);
  EXPECT_EQ(memory[1], 2.0e-5);
  EXPECT_EQ(memory[2], 0.0);
  EXPECT_EQ(memory[3], 0.0);
  EXPECT_EQ(memory[9], 10.0 - 0.5 * 4.0 - 2.0 * 1.0);
}

}  // namespace
}  // namespace g729a
