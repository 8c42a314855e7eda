#include "codec/encoder/lp_analysis.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "codec/common/lp.h"
#include "codec/common/tables.h"
#include "codec/reference/encoder_stages.h"

namespace g729a {
namespace {

constexpr std::array<double, 10> kInitialLsp = {0.9595,  0.8413,  0.6549,  0.4154,  0.1423,
                                                -0.1423, -0.4154, -0.6549, -0.8413, -0.9595};

TEST(LpAnalysisTest, SilenceFloorsTheEnergy) {
  std::array<double, 240> speech{};
  std::array<double, 11> r;
  windowed_autocorrelation(speech, r);
  EXPECT_EQ(r[0], 1.0001);
  for (int k = 1; k <= 10; ++k) EXPECT_EQ(r[k], 0.0) << k;

  std::array<double, 10> lsp;
  lp_analysis(speech, kInitialLsp, lsp);
  // A = (1, 0, ..., 0): roots near cos(k pi / 11).
  for (int i = 0; i < 10; ++i) EXPECT_NEAR(lsp[i], std::cos((i + 1) * M_PI / 11), 2e-3) << i;
}

TEST(LpAnalysisTest, TwoImpulsesGiveOneLagThroughTheLagWindow) {
  // Impulses at n = 100 and n = 100 + lag: only r[0] and r[lag] are non-zero.
  for (int lag = 1; lag <= 10; ++lag) {
    std::array<double, 240> speech{};
    speech[100] = 300.0;
    speech[100 + lag] = -200.0;
    std::array<double, 11> r;
    windowed_autocorrelation(speech, r);
    const double x0 = 300.0 * lp_window[100];
    const double x1 = -200.0 * lp_window[100 + lag];
    EXPECT_EQ(r[0], (x1 * x1 + x0 * x0) * 1.0001) << lag;
    for (int k = 1; k <= 10; ++k) {
      EXPECT_EQ(r[k], k == lag ? (x1 * x0) * lag_window[k - 1] : 0.0) << lag << " " << k;
    }
  }
}

TEST(LpAnalysisTest, WindowCoversBothEndsOfTheBuffer) {
  std::array<double, 240> speech{};
  speech[0] = 1000.0;
  speech[239] = 1000.0;
  std::array<double, 11> r;
  windowed_autocorrelation(speech, r);
  const double a = 1000.0 * lp_window[0];
  const double b = 1000.0 * lp_window[239];
  EXPECT_EQ(r[0], (a * a + b * b) * 1.0001);
}

TEST(LpAnalysisTest, SmallEnergyIsFlooredBeforeTheNoiseCorrection) {
  std::array<double, 240> speech{};
  speech[120] = 0.5;  // energy 0.25 * w^2 < 1
  std::array<double, 11> r;
  windowed_autocorrelation(speech, r);
  EXPECT_EQ(r[0], 1.0001);
}

TEST(LpAnalysisTest, WeightingUsesPowersOfThreeQuarters) {
  LpVector aq;
  for (int k = 0; k <= 10; ++k) aq[k] = k == 0 ? 1.0 : 1.0 / k;
  LpVector ap;
  weight_filter(aq, ap);
  for (int k = 0; k <= 10; ++k) EXPECT_EQ(ap[k], aq[k] * std::pow(0.75, k)) << k;
}

TEST(LpAnalysisTest, WeightedSpeechMemoryIsFlushedButTheOutputIsNot) {
  // With Ap = 1 the tilt filter alone remains: wsp[n] = res[n] + 0.7 wsp[n-1].
  LpVector ap{};
  ap[0] = 1.0;
  for (double value : {1.9e-5, -1.9e-5, 2.0e-5, -2.0e-5}) {
    std::array<double, 40> res{};
    res[39] = value;
    std::array<double, 10> memory{};
    std::array<double, 40> wsp;
    weighted_speech(res.data(), ap, memory, wsp.data());
    EXPECT_EQ(wsp[39], value);
    EXPECT_EQ(memory[9], std::fabs(value) < 2e-5 ? 0.0 : value) << value;
  }
}

TEST(LpAnalysisTest, WeightedSpeechContinuesFromItsMemory) {
  LpVector ap{};
  ap[0] = 1.0;
  std::array<double, 10> memory{};
  memory[9] = 10.0;
  std::array<double, 40> res{};
  std::array<double, 40> wsp;
  weighted_speech(res.data(), ap, memory, wsp.data());
  const double c1 = 0.0 - 0.7 * 1.0;  // tilt-compensated first coefficient
  EXPECT_EQ(wsp[0], 0.0 - c1 * 10.0);
  EXPECT_EQ(wsp[1], 0.0 - c1 * wsp[0]);
  EXPECT_EQ(wsp[2], 0.0 - c1 * wsp[1]);
}

}  // namespace
}  // namespace g729a
