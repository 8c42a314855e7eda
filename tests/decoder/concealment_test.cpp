// Erased and untransmitted frames: the decoder's output for frames that
// never arrived, at the boundaries of both procedures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "codec/common/adaptive_codebook.h"
#include "codec/common/tables.h"
#include "codec/decoder/decoder.h"
#include "codec/decoder/parameter_decoding.h"
#include "codec/decoder/state_guard.h"
#include "decoder/frames.h"

namespace {

using namespace g729a;

// P1 = 255 gives 143 for the first subframe, P2 = 22 then 141 for the second.
constexpr dectest::SpeechFields kLongDelay = {.L1 = 40, .P1 = 255, .G1 = 90, .P2 = 22, .G2 = 90};
constexpr dectest::SpeechFields kVoiced = {.L0 = 1,
                                           .L1 = 77,
                                           .L2 = 9,
                                           .L3 = 20,
                                           .P1 = 80,
                                           .C1 = 1234,
                                           .S1 = 5,
                                           .G1 = 100,
                                           .P2 = 17,
                                           .C2 = 4321,
                                           .S2 = 10,
                                           .G2 = 101};

struct Concealment : ::testing::Test {
  DecoderState state;
  std::int16_t out[80];
  void SetUp() override { decoder_state_init(state); }
  void speech(const dectest::SpeechFields& f) {
    ASSERT_EQ(decode_frame(state, out, dectest::speech_frame(f).data(), 10), 0);
  }
  void sid(int energy, int stage1 = 3) {
    ASSERT_EQ(decode_frame(state, out, dectest::sid_frame(0, stage1, 5, energy).data(), 2), 0);
  }
  void erased() { decode_erased_frame(state, out); }
  void gap() { decode_untransmitted_frame(state, out); }
};

TEST_F(Concealment, InitialisationStartsTheErasureGeneratorApartFromComfortNoise) {
  state.erasure_seed = 0;
  state.previous_lsf_mode = 1;
  state.received_frame_kind = 2;
  decoder_state_init(state);
  EXPECT_EQ(state.erasure_seed, 21845);
  EXPECT_EQ(state.previous_lsf_mode, 0);
  EXPECT_EQ(state.received_frame_kind, 1);
  speech(kVoiced);
  EXPECT_EQ(state.previous_lsf_mode, 1);
  erased();
  erased();
  // Two draws per subframe; the comfort-noise seed does not move.
  EXPECT_EQ(state.erasure_seed, dectest::lcg_steps(21845, 8));
  EXPECT_EQ(state.cng_seed, 11111);
  EXPECT_EQ(state.previous_frame_kind, 1);
}

// With no code gain the excitation is the pitch part alone: the previous
// delay with fraction 0, one more per subframe, and the decayed pitch gain.
TEST_F(Concealment, DelayGrowsTo143AndPitchGainIsCappedAt09) {
  speech(kLongDelay);
  ASSERT_EQ(state.previous_pitch_delay, 141);
  state.gain_code = 0.0;
  state.gain_pitch = 1.2;
  std::array<double, 234> expected = state.excitation_buffer;
  erased();
  EXPECT_EQ(state.previous_pitch_delay, 143);
  adaptive_codebook_vector(expected.data() + 154, 141, 0);
  for (int n = 0; n < 40; ++n) expected[154 + n] *= 0.9;
  adaptive_codebook_vector(expected.data() + 194, 142, 0);
  for (int n = 0; n < 40; ++n) expected[194 + n] *= 0.9 * 0.9;
  for (int n = 0; n < 80; ++n) {
    ASSERT_EQ(state.excitation_buffer[74 + n], expected[154 + n]) << n;
  }
  EXPECT_EQ(state.gain_pitch, 0.9 * 0.9);
  EXPECT_EQ(state.pitch_sharpening, 0.7945);

  expected = state.excitation_buffer;
  erased();
  EXPECT_EQ(state.previous_pitch_delay, 143);
  adaptive_codebook_vector(expected.data() + 154, 143, 0);
  for (int n = 0; n < 40; ++n) expected[154 + n] *= 0.9 * 0.9 * 0.9;
  for (int n = 0; n < 40; ++n) ASSERT_EQ(state.excitation_buffer[74 + n], expected[154 + n]) << n;
}

// With no pitch gain the excitation is the random code vector alone, pulse
// index before sign index, sharpened at the previous delay.
TEST_F(Concealment, CodeVectorComesFromTheErasureGeneratorWithDecayingGain) {
  speech(kVoiced);
  state.gain_pitch = 0.0;
  state.gain_code = 1000.0;
  state.previous_pitch_delay = 30;
  state.pitch_sharpening = 0.5;
  erased();
  const std::int16_t r1 = dectest::lcg_steps(21845, 1), r2 = dectest::lcg_steps(21845, 2);
  CodeVector cv;
  fixed_codebook_decode(r1 & 0x1FFF, r2 & 0xF, cv);
  for (int n = 30; n < 40; ++n) cv[n] += 0.5 * cv[n - 30];
  for (int n = 0; n < 40; ++n) {
    ASSERT_EQ(state.excitation_buffer[74 + n], 1000.0 * 0.98 * cv[n]) << n;
  }
  EXPECT_EQ(state.pitch_sharpening, 0.2);

  double gc = 1000.0 * 0.98 * 0.98;
  EXPECT_EQ(state.gain_code, gc);
  for (int frame = 0; frame < 10; ++frame) {
    erased();
    gc = gc * 0.98 * 0.98;
  }
  EXPECT_EQ(state.gain_code, gc);
  EXPECT_EQ(state.gain_pitch, 0.0);
}

TEST_F(Concealment, GainPredictorTakesTheMeanLess4dBDownToTheFloor) {
  speech(kVoiced);
  state.gain_predictor_memory = {0.0, -4.0, -8.0, -12.0};
  erased();
  // Subframe 1 shifts in -10, subframe 2 the mean of (-10, 0, -4, -8) less 4.
  EXPECT_EQ(state.gain_predictor_memory, (std::array<double, 4>{-9.5, -10.0, 0.0, -4.0}));
  for (int frame = 0; frame < 30; ++frame) erased();
  EXPECT_EQ(state.gain_predictor_memory, (std::array<double, 4>{-14.0, -14.0, -14.0, -14.0}));
}

// The memory row an erased frame adds, predicted with the last speech
// frame's mode, gives back the repeated LSFs; the envelope itself stays.
TEST_F(Concealment, LsfPredictorAdvancesWithTheRepeatedEnvelope) {
  speech(kVoiced);  // mode 1
  speech({.L0 = 1, .L1 = 12, .L2 = 3, .L3 = 30, .P1 = 60, .G1 = 50, .G2 = 50});
  const auto lsp = state.lsp_previous;
  const auto before = state.lsf_ma_memory;
  for (int frame = 0; frame < 3; ++frame) {
    const auto memory = state.lsf_ma_memory;
    erased();
    EXPECT_EQ(state.lsp_previous, lsp);
    for (int k = 1; k < 4; ++k) EXPECT_EQ(state.lsf_ma_memory[k], memory[k - 1]) << k;
    for (int j = 0; j < 10; ++j) {
      double mode1 = state.lsf_ma_memory[0][j] * lsf_ma_coef_sum[1][j];
      double mode0 = state.lsf_ma_memory[0][j] * lsf_ma_coef_sum[0][j];
      for (int k = 0; k < 4; ++k) {
        mode1 += memory[k][j] * lsf_ma_coef[1][k][j];
        mode0 += memory[k][j] * lsf_ma_coef[0][k][j];
      }
      EXPECT_NEAR(mode1, std::acos(lsp[j]), 1e-12) << j;
      if (frame == 0) EXPECT_GT(std::fabs(mode0 - std::acos(lsp[j])), 1e-4) << j;
    }
  }
  EXPECT_NE(state.lsf_ma_memory, before);
}

TEST_F(Concealment, GapWithoutAPrecedingSidIsConcealed) {
  // At start, right after speech, and after an erased frame that followed
  // speech: the gap is the erased frame.
  for (int lead : {0, 1, 2}) {
    SetUp();
    if (lead >= 1) speech(kVoiced);
    if (lead >= 2) erased();
    DecoderState concealed = state;
    std::int16_t expected[80];
    decode_erased_frame(concealed, expected);
    gap();
    EXPECT_EQ(std::memcmp(&state, &concealed, sizeof state), 0) << lead;
    EXPECT_EQ(std::memcmp(out, expected, sizeof out), 0) << lead;
  }
}

TEST_F(Concealment, GapAfterSidContinuesItsNoiseAndLeavesThePredictors) {
  speech(kVoiced);
  sid(0);
  sid(31);  // smoothed towards 3990.525
  // A lost SID update in the silence does not end it.
  erased();
  for (int i = 0; i < 3; ++i) {
    const DecoderState before = state;
    gap();
    EXPECT_EQ(state.sid_gain, 0.875 * before.sid_gain + 0.125 * 3990.525) << i;
    EXPECT_EQ(state.lsp_previous, before.sid_lsp);
    EXPECT_EQ(state.lsf_ma_memory, before.lsf_ma_memory);
    EXPECT_EQ(state.gain_predictor_memory, before.gain_predictor_memory);
    EXPECT_EQ(state.previous_pitch_delay, before.previous_pitch_delay);
    EXPECT_EQ(state.cng_seed, dectest::lcg_steps(before.cng_seed, 966));
    EXPECT_EQ(state.erasure_seed, before.erasure_seed);
    EXPECT_EQ(state.pitch_sharpening, 0.2);
    EXPECT_EQ(state.previous_frame_kind, 2);
  }
}

double level_db(const std::int16_t* x, int n) {
  double e = 0.0;
  for (int i = 0; i < n; ++i) e += static_cast<double>(x[i]) * x[i];
  return 10.0 * std::log10(e / n + 1.0);
}

// Two seconds of gap hold the level a run of the same SID frames reaches.
TEST_F(Concealment, LongGapKeepsTheComfortNoiseLevel) {
  speech(kVoiced);
  sid(5, 20);
  sid(20, 20);
  DecoderState with_sids = state;
  double gap_level = 0.0, sid_level = 0.0;
  for (int frame = 0; frame < 200; ++frame) {
    gap();
    std::int16_t other[80];
    ASSERT_EQ(decode_frame(with_sids, other, dectest::sid_frame(0, 20, 5, 20).data(), 2), 0);
    if (frame >= 100) {
      gap_level += level_db(out, 80) / 100;
      sid_level += level_db(other, 80) / 100;
    }
  }
  EXPECT_NEAR(state.sid_gain, sid_gain_table[20], 1e-9 * sid_gain_table[20]);
  EXPECT_GT(gap_level, 20.0);
  EXPECT_NEAR(gap_level, sid_level, 1.0);
}

// The gap moved neither predictor, so the next speech frame decodes its
// envelope and gains exactly as straight after the SID frame.
TEST_F(Concealment, SpeechAfterAGapDecodesAsAfterTheSid) {
  speech(kVoiced);
  sid(12);
  DecoderState direct = state;
  for (int i = 0; i < 7; ++i) gap();
  speech(kLongDelay);
  ASSERT_EQ(decode_frame(direct, out, dectest::speech_frame(kLongDelay).data(), 10), 0);
  EXPECT_EQ(state.lsp_previous, direct.lsp_previous);
  EXPECT_EQ(state.lsf_ma_memory, direct.lsf_ma_memory);
  EXPECT_EQ(state.gain_predictor_memory, direct.gain_predictor_memory);
  EXPECT_EQ(state.gain_code, direct.gain_code);
  EXPECT_EQ(state.gain_pitch, direct.gain_pitch);
  EXPECT_EQ(state.previous_pitch_delay, direct.previous_pitch_delay);
  EXPECT_EQ(state.cng_seed, 11111);
  EXPECT_EQ(state.received_frame_kind, 1);
}

// Whatever the guard does with a runaway state, missing frames pass it too.
TEST_F(Concealment, MissingFramesPassTheRunawayGuard) {
  for (bool untransmitted : {false, true}) {
    SetUp();
    speech(kVoiced);
    sid(3);
    state.synthesis_memory[9] = std::numeric_limits<double>::quiet_NaN();
    untransmitted ? gap() : erased();
    EXPECT_TRUE(decoder_state_within_bounds(state)) << untransmitted;
  }
}

}  // namespace
