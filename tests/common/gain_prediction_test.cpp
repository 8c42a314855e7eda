#include "codec/common/gain_prediction.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <random>

#include "codec/common/adaptive_codebook.h"
#include "codec/common/tables.h"
#include "codec/maths/portable_math.h"

namespace {

using g729a::GainPredictorMemory;

// The predicted gain with the energy summed over all forty samples.
double plain_prediction(const std::array<double, 40>& cv, const GainPredictorMemory& memory) {
  double energy = 0.01;
  for (int n = 0; n < 40; ++n) energy += cv[n] * cv[n];
  double p = 36.0 - 10.0 * g729a::portable_log10(energy / 40.0);
  for (int k = 0; k < 4; ++k) p += g729a::gain_pred_coef[k] * memory[k];
  return g729a::portable_exp10(p / 20.0);
}

// Four unit pulses, one per track (the last track's odd or even half), signs
// and positions at random.
std::array<double, 40> random_pulses(std::mt19937& rng) {
  std::array<double, 40> cv{};
  for (int track = 0; track < 4; ++track) {
    int position = static_cast<int>(rng() % 8) * 5 + track;
    if (track == 3) position += static_cast<int>(rng() % 2);
    cv[position] = rng() % 2 ? 1.0 : -1.0;
  }
  return cv;
}

TEST(PredictedCodeGain, EqualsThePlainSumOverEveryDelayAndSharpening) {
  std::mt19937 rng(729);
  std::uniform_real_distribution<double> db(-30.0, 8.0);
  std::uniform_real_distribution<double> factor(g729a::kSharpeningMin, g729a::kSharpeningMax);
  for (int T = 1; T <= 143; ++T) {
    for (int trial = 0; trial < 40; ++trial) {
      std::array<double, 40> cv = random_pulses(rng);
      const double sharpening = trial == 0   ? g729a::kSharpeningMin
                                : trial == 1 ? g729a::kSharpeningMax
                                             : factor(rng);
      g729a::pitch_sharpen(T, sharpening, cv.data());
      const GainPredictorMemory memory = {db(rng), db(rng), db(rng), db(rng)};
      const double fast = g729a::predicted_code_gain(cv.data(), T, memory);
      ASSERT_EQ(std::bit_cast<std::uint64_t>(fast),
                std::bit_cast<std::uint64_t>(plain_prediction(cv, memory)))
          << "T " << T << " trial " << trial;
    }
  }
}

TEST(PredictedCodeGain, NegativeZerosAndCoincidingEchoesAddLikeThePlainSum) {
  // An echo landing on a pulse of the other sign, and zeros of either sign.
  std::array<double, 40> cv{};
  cv[0] = 1.0;
  cv[21] = -1.0;
  cv[22] = 1.0;
  cv[38] = -1.0;
  g729a::pitch_sharpen(21, 0.7945, cv.data());
  for (int n : {5, 9, 30}) cv[n] = -0.0;
  const GainPredictorMemory memory = {-14.0, 3.5, -0.25, -29.0};
  EXPECT_EQ(g729a::predicted_code_gain(cv.data(), 21, memory), plain_prediction(cv, memory));
  // At and beyond one subframe nothing is sharpened: the energy is that of
  // any four unit pulses.
  std::array<double, 40> unsharpened{};
  for (int n : {4, 10, 36, 37}) unsharpened[n] = n % 2 ? 1.0 : -1.0;
  for (int T : {40, 41, 143}) {
    EXPECT_EQ(g729a::predicted_code_gain(unsharpened.data(), T, memory),
              plain_prediction(unsharpened, memory));
  }
}

}  // namespace

namespace {

TEST(GainPredictorUpdate, EveryPairOfRowsEntersAsTwentyLogTenOfItsCorrection) {
  for (int i1 = 0; i1 < g729a::gain_cb1_size; ++i1) {
    for (int i2 = 0; i2 < g729a::gain_cb2_size; ++i2) {
      GainPredictorMemory memory = {1.0, 2.0, 3.0, 4.0};
      g729a::gain_predictor_update(memory, i1, i2);
      const double gamma = g729a::gain_cb1[i1][1] + g729a::gain_cb2[i2][1];
      ASSERT_EQ(memory, (GainPredictorMemory{20.0 * g729a::portable_log10(gamma), 1.0, 2.0, 3.0}))
          << i1 << " " << i2;
    }
  }
}

}  // namespace
