#include "codec/encoder/gain_quantizer.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>

#include "codec/common/tables.h"

namespace {

using g729a::gain_cb1;
using g729a::gain_cb2;
using Memory = std::array<double, 4>;
using Vec = std::array<double, 40>;

// Four unit pulses: En = 4.01.
Vec four_pulses() {
  Vec cw{};
  cw[3] = 1.0;
  cw[11] = -1.0;
  cw[17] = 1.0;
  cw[34] = -1.0;
  return cw;
}

double predicted_gain(const Vec& cw, const Memory& m) {
  double en = 0.01;
  for (double v : cw) en += v * v;
  const double e =
      36.0 - 10.0 * std::log10(en / 40.0) + 0.68 * m[0] + 0.58 * m[1] + 0.34 * m[2] + 0.19 * m[3];
  return std::pow(10.0, e / 20.0);
}

// Correlations whose error is wp (gp - gp_t)^2 + wc (gc - gc_t)^2 plus a
// constant, so the unquantized optimum is (gp_t, gc_t).
std::array<double, 5> target(double gp_t, double gc_t, double wp, double wc) {
  return {wp, -2.0 * wp * gp_t, wc, -2.0 * wc * gc_t, 0.0};
}

struct Out {
  std::int32_t index;
  int i1;  // first-stage codebook entry
  int i2;  // second-stage codebook entry
  double gp;
  double gc;
};

Out quantize(Memory& m, const Vec& cw, const std::array<double, 5>& g, int taming) {
  Out o;
  o.index = g729a::gain_quantize(m, cw.data(), 40, g.data(), taming, &o.gp, &o.gc);
  o.i1 = g729a::gain_unmap1[(o.index >> 4) & 7];
  o.i2 = g729a::gain_unmap2[o.index & 15];
  return o;
}

// Error isotropic in (gp, gc / gc0), aimed at codebook entries (a, b).
Out aim_at(int a, int b, int taming = 0) {
  Memory m{-14.0, -14.0, -14.0, -14.0};
  const Vec cw = four_pulses();
  const double gc0 = predicted_gain(cw, m);
  const double gp_t = gain_cb1[a][0] + gain_cb2[b][0];
  const double gc_t = gc0 * (gain_cb1[a][1] + gain_cb2[b][1]);
  return quantize(m, cw, target(gp_t, gc_t, 1.0, 1.0 / (gc0 * gc0)), taming);
}

TEST(GainQuantizer, FirstSubframeAfterStart) {
  Memory m{-14.0, -14.0, -14.0, -14.0};
  const Vec cw = four_pulses();
  const double gc0 = std::pow(10.0, (36.0 - 10.0 * std::log10(4.01 / 40.0) - 25.06) / 20.0);
  const double gamma = gain_cb1[0][1] + gain_cb2[0][1];
  const Out o = quantize(m, cw, target(0.050476, gc0 * gamma, 1.0, 1.0), 0);
  EXPECT_EQ(o.index, 5 * 16 + 4);  // entries (0, 0)
  EXPECT_EQ(o.gp, gain_cb1[0][0] + gain_cb2[0][0]);
  EXPECT_NEAR(o.gc, gc0 * gamma, 1e-12 * o.gc);
  EXPECT_DOUBLE_EQ(m[0], 20.0 * std::log10(gamma));
  EXPECT_EQ(m[1], -14.0);
  EXPECT_EQ(m[2], -14.0);
  EXPECT_EQ(m[3], -14.0);
}

TEST(GainQuantizer, PredictionUsesAndShiftsTheMemory) {
  Memory m{1.0, 2.0, 3.0, 4.0};
  const Vec cw = four_pulses();
  const double gc0 = predicted_gain(cw, m);
  const double gamma = gain_cb1[2][1] + gain_cb2[4][1];
  const Out o = quantize(m, cw, target(gain_cb1[2][0] + gain_cb2[4][0], gc0 * gamma, 1.0, 1.0), 0);
  EXPECT_EQ(o.i1, 2);
  EXPECT_EQ(o.i2, 4);
  EXPECT_NEAR(o.gc, gc0 * gamma, 1e-12 * o.gc);
  EXPECT_DOUBLE_EQ(m[0], 20.0 * std::log10(gamma));
  EXPECT_EQ(m[1], 1.0);
  EXPECT_EQ(m[2], 2.0);
  EXPECT_EQ(m[3], 3.0);
}

// Aimed exactly at an entry pair inside its own pre-selection window, the
// search returns that pair and its mapped index.
TEST(GainQuantizer, WindowsAtBothEnds) {
  // Y below the first threshold, X below the first: windows 0..3, 0..7.
  EXPECT_EQ(aim_at(0, 0).index, 84);
  // Y above all four thresholds: window 4..7.
  EXPECT_EQ(aim_at(7, 0).index, 2 * 16 + 4);
  // X above all eight thresholds: window 8..15.
  EXPECT_EQ(aim_at(0, 14).index, 5 * 16 + 1);
  EXPECT_EQ(aim_at(0, 15).index, 5 * 16 + 5);
}

// Pairs whose own pre-selection excludes them: (5, 12) gives Y between the
// first two thresholds, window 1..4; (3, 11) gives Y above all four, window
// 4..7. An exhaustive search would return the pair itself.
TEST(GainQuantizer, SearchStaysInsideTheWindow) {
  const Out a = aim_at(5, 12);
  EXPECT_GE(a.i1, 1);
  EXPECT_LE(a.i1, 4);
  EXPECT_GE(a.i2, 8);
  const Out b = aim_at(3, 11);
  EXPECT_GE(b.i1, 4);
  EXPECT_GE(b.i2, 7);
  EXPECT_LE(b.i2, 14);
}

TEST(GainQuantizer, TamingRejectsGainsNearOne) {
  // (0, 14) has gp = 1.055892: taken without taming, skipped with it.
  const Out free = aim_at(0, 14, 0);
  EXPECT_EQ(free.i1, 0);
  EXPECT_EQ(free.i2, 14);
  EXPECT_GE(free.gp, 0.9999);
  const Out tamed = aim_at(0, 14, 1);
  EXPECT_LT(tamed.gp, 0.9999);
}

// gp* = 0.97 and gamma* = 0.8, with an error that weighs mostly gc. The
// pre-selection at the tamed 0.94 opens the second-stage window at 7; at
// 0.97 it would start at 8. Entry 7 is the closest gc the window allows.
TEST(GainQuantizer, TamedPreselectionUses094) {
  Memory m{-14.0, -14.0, -14.0, -14.0};
  const Vec cw = four_pulses();
  const double gc0 = predicted_gain(cw, m);
  const auto g = target(0.97, 0.8 * gc0, 0.001, 1.0 / (gc0 * gc0));
  Memory m_tamed = m;
  const Out tamed = quantize(m_tamed, cw, g, 1);
  EXPECT_EQ(tamed.i2, 7);
  EXPECT_LT(tamed.gp, 0.9999);
  const Out free = quantize(m, cw, g, 0);
  EXPECT_GE(free.i2, 8);
}

// A predicted gain of 0 (memory driven absurdly low) reverses the window
// comparisons: with gc* > 0 the windows become 0..3 and 8..15, and with
// gc = 0 for every pair only gp decides.
TEST(GainQuantizer, ZeroPredictedGainReversesTheWindows) {
  Memory m{-1e4, -1e4, -1e4, -1e4};
  const Vec cw = four_pulses();
  const Out o = quantize(m, cw, target(gain_cb1[0][0] + gain_cb2[14][0], 0.5, 1.0, 1.0), 0);
  EXPECT_EQ(o.gc, 0.0);
  EXPECT_EQ(o.i1, 0);
  EXPECT_EQ(o.i2, 14);
}

// Equal errors keep the earlier pair: with all correlations zero every
// pair scores 0, so the first pair of the window, (0, 0), must stay rather
// than the last, (3, 7).
TEST(GainQuantizer, TiesKeepTheEarlierPair) {
  Memory m{-14.0, -14.0, -14.0, -14.0};
  const Vec cw = four_pulses();
  const Out flat = quantize(m, cw, {0.0, 0.0, 0.0, 0.0, 0.0}, 0);
  EXPECT_EQ(flat.index, 84);
  EXPECT_TRUE(std::isfinite(flat.gp));
  EXPECT_TRUE(std::isfinite(flat.gc));
}

// Proportional y1 and y2 make 4 g0 g2 - g4^2 exactly 0: the quantizer
// still returns finite gains from the lowest windows.
TEST(GainQuantizer, SingularCorrelationsStayFinite) {
  Memory m{-14.0, -14.0, -14.0, -14.0};
  const Vec cw = four_pulses();
  const Out o = quantize(m, cw, {1.0, -0.5, 1.0, -3.0, 2.0}, 0);
  EXPECT_TRUE(std::isfinite(o.gp));
  EXPECT_TRUE(std::isfinite(o.gc));
  EXPECT_LE(o.i1, 3);
  EXPECT_LE(o.i2, 7);
  EXPECT_TRUE(std::isfinite(m[0]));
}

TEST(GainQuantizer, ZeroInnovationKeepsTheLogarithmFinite) {
  Memory m{-14.0, -14.0, -14.0, -14.0};
  const Out o = quantize(m, Vec{}, target(0.5, 1.0, 1.0, 1.0), 0);
  EXPECT_TRUE(std::isfinite(o.gc));
  EXPECT_GT(o.gc, 0.0);
}

}  // namespace
