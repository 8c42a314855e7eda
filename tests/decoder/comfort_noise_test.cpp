#include <gtest/gtest.h>

#include <cmath>

#include "codec/common/lsf.h"
#include "codec/common/tables.h"
#include "codec/decoder/cng_excitation.h"
#include "decoder/frames.h"
#include "g729a/codec.h"

namespace {

using namespace g729a;

TEST(CngGenerator, SixteenBitWrapAndArithmeticShiftOverAFullPeriod) {
  std::int16_t seed = 11111;
  for (int i = 0; i < 70000; ++i) {
    const std::int16_t expected = dectest::lcg_steps(seed, 1);
    ASSERT_EQ(cng_random(seed), expected) << "step " << i;
    ASSERT_EQ(seed, expected);
  }
  for (int i = 0; i < 5000; ++i) {
    std::int16_t s = seed;
    int sum = 0;
    for (int k = 0; k < 12; ++k) sum += (s = dectest::lcg_steps(s, 1));
    // >> 7 rounds negative sums down.
    ASSERT_EQ(cng_gaussian(seed), std::floor(sum / 128.0) / 512.0) << "draw " << i;
  }
}

TEST(CngDraw, FieldsAtTheirExtremes) {
  const int fractions[4] = {-1, 0, 1, 0};  // r1 & 3 = 3 is fraction 0, like 1
  for (int low = 0; low < 4; ++low) EXPECT_EQ(cng_draw(low, 0, 0).fraction, fractions[low]);
  const CngDraw zero = cng_draw(0, 0, 0), ones = cng_draw(-1, -1, 8191);
  EXPECT_EQ(zero.delay, 40);
  EXPECT_EQ(zero.position, (std::array<int, 4>{0, 1, 1, 3}));  // pulse 2 on track 1
  EXPECT_EQ(zero.sign, (std::array<double, 4>{-1, -1, -1, -1}));
  EXPECT_EQ(ones.delay, 103);
  EXPECT_EQ(ones.position, (std::array<int, 4>{35, 36, 36, 39}));
  EXPECT_EQ(ones.sign, (std::array<double, 4>{1, 1, 1, 1}));
  EXPECT_EQ(ones.gain, 8191.0 / 16384.0);
  EXPECT_EQ(cng_draw(0, 0, 8192).gain, 0.0);
}

TEST(CngExcitation, SilentGaussianDrawStaysZeroInsteadOfDividingByZero) {
  std::array<double, 40> g{};
  cng_scale_gaussian(g, 3990.525);
  for (double v : g) EXPECT_EQ(v, 0.0);
}

TEST(CngExcitation, AmplitudeTieClipSharedPositionAndFallback) {
  const CngDraw draw = {40, 0, {0, 6, 6, 3}, {1, 1, 1, -1}, 0.0};
  std::array<double, 40> g{}, e{};
  // e = 0: both roots have the same size and the tie takes the second.
  cng_add_pulses(e.data(), 0.0, g, draw, 1.0);
  const double a = -std::sqrt(160.0) * 0.25;
  EXPECT_EQ(e[0], a);
  EXPECT_EQ(e[6], a + a);  // pulses 1 and 2 share the position
  EXPECT_EQ(e[3], -a);
  e.fill(0.0);
  cng_add_pulses(e.data(), 0.0, g, draw, 3990.525);
  EXPECT_EQ(e[0], -5000.0);
  // A mix far above the target energy is replaced by g before the pulses.
  e.fill(100.0);
  g.fill(1.0);
  cng_add_pulses(e.data(), 40 * 100.0 * 100.0, g, draw, 1.0);
  const double I = 1 + 2 - 1, root = std::sqrt(I * I + 3 * 40);
  EXPECT_EQ(e[1], 1.0);
  EXPECT_EQ(e[0], 1.0 + (root - I) * 0.25);
}

// SID decoding through the frame driver.
struct SidSequence : ::testing::Test {
  DecoderState state;
  std::int16_t out[80];
  void SetUp() override { decoder_init(state); }
  void speech() { ASSERT_TRUE(decoder_decode(state, dectest::speech_frame({}), out)); }
  void sid(int sw, int s1, int s2, int energy) {
    ASSERT_TRUE(decoder_decode(state, dectest::sid_frame(sw, s1, s2, energy), out));
  }
};

TEST_F(SidSequence, GainIsSmoothedOnlyWithinASilencePeriod) {
  sid(0, 0, 0, 0);  // right after start counts as after speech
  EXPECT_EQ(state.sid_gain, 0.502);
  sid(0, 0, 0, 31);
  EXPECT_EQ(state.sid_gain, 0.875 * 0.502 + 0.125 * 3990.525);
  speech();
  sid(1, 5, 7, 0);
  EXPECT_EQ(state.sid_gain, 0.502);
}

TEST_F(SidSequence, SeedRunsOn966StepsPerFrameUntilSpeech) {
  state.pitch_sharpening = 0.6;
  state.previous_pitch_delay = 77;
  sid(0, 3, 4, 10);
  EXPECT_EQ(state.cng_seed, dectest::lcg_steps(11111, 966));
  EXPECT_EQ(state.pitch_sharpening, 0.2);
  EXPECT_EQ(state.previous_pitch_delay, 77);
  sid(0, 3, 4, 10);
  EXPECT_EQ(state.cng_seed, dectest::lcg_steps(11111, 2 * 966));
  state.cng_seed = 5;
  speech();
  EXPECT_EQ(state.cng_seed, 11111);
}

TEST_F(SidSequence, PredictorMemoryTakesTheOnceExpandedCodebookVector) {
  const int s1 = 1, s2 = 6;  // a pair the 0.0012 pass moves
  LsfVector buf;
  for (int j = 0; j < 10; ++j) {
    buf[j] = lsf_cb1[sid_stage1_map[s1]][j] + lsf_cb2[sid_stage2_map[j < 5 ? 0 : 1][s2]][j];
  }
  lsf_expand(buf, 0.0012);
  const LsfVector older = state.lsf_ma_memory[0];
  sid(1, s1, s2, 3);
  EXPECT_EQ(state.lsf_ma_memory[0], buf);
  EXPECT_EQ(state.lsf_ma_memory[1], older);
}

}  // namespace
