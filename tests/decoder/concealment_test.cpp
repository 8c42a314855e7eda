// Erased and untransmitted frames at the boundaries of both procedures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "codec/common/adaptive_codebook.h"
#include "codec/common/tables.h"
#include "codec/decoder/parameter_decoding.h"
#include "codec/decoder/state_guard.h"
#include "decoder/frames.h"
#include "g729a/codec.h"

namespace {

using namespace g729a;

// Delays 143, then 141 (P2 = 22 relative to tmin 134).
constexpr dectest::SpeechFields kLongDelay = {.L1 = 40, .P1 = 255, .G1 = 90, .P2 = 22, .G2 = 90};
// A speech frame with predictor mode 1.
constexpr dectest::SpeechFields kVoiced = {
    .L0 = 1, .L1 = 77, .L2 = 9, .L3 = 20, .P1 = 80, .C1 = 1234, .G1 = 100, .P2 = 17, .G2 = 101};

struct Concealment : ::testing::Test {
  DecoderState state;
  std::int16_t out[80];
  void SetUp() override { decoder_init(state); }
  void speech(const dectest::SpeechFields& f) {
    ASSERT_TRUE(decoder_decode(state, dectest::speech_frame(f), out));
  }
  void sid(int energy) {
    ASSERT_TRUE(decoder_decode(state, dectest::sid_frame(0, 20, 5, energy), out));
  }
};

// Without code gain the excitation is the pitch part alone: fraction 0, one
// sample longer per subframe up to 143, gain 0.9 x the previous, at most 0.9.
TEST_F(Concealment, DelayStopsAt143AndPitchGainAt09) {
  speech(kLongDelay);
  state.gain_code = 0.0;
  state.gain_pitch = 1.2;
  auto expected = state.excitation_buffer;
  decoder_decode_erased(state, out);
  EXPECT_EQ(state.previous_pitch_delay, 143);
  const double gains[2] = {0.9, 0.9 * 0.9};
  for (int s = 0; s < 2; ++s) {
    adaptive_codebook_vector(expected.data() + 154 + 40 * s, 141 + s, 0);
    for (int n = 0; n < 40; ++n) {
      ASSERT_EQ(state.excitation_buffer[74 + 40 * s + n], gains[s] * expected[154 + 40 * s + n]);
    }
  }
  EXPECT_EQ(state.pitch_sharpening, 0.7945);
  decoder_decode_erased(state, out);
  EXPECT_EQ(state.previous_pitch_delay, 143);
}

// Without pitch gain it is the code vector alone: pulse index then sign index
// from the erasure generator (21845 at start, not the comfort-noise seed),
// sharpened at the previous delay, with gc decaying by 0.98 per subframe.
TEST_F(Concealment, CodeVectorDrawsFromItsOwnGeneratorWithDecayingGain) {
  speech(kVoiced);
  state.gain_pitch = 0.0;
  state.gain_code = 1000.0;
  state.previous_pitch_delay = 30;
  state.pitch_sharpening = 0.5;
  decoder_decode_erased(state, out);
  CodeVector cv;
  fixed_codebook_decode(dectest::lcg_steps(21845, 1) & 0x1FFF, dectest::lcg_steps(21845, 2) & 0xF,
                        cv);
  for (int n = 30; n < 40; ++n) cv[n] += 0.5 * cv[n - 30];
  for (int n = 0; n < 40; ++n) ASSERT_EQ(state.excitation_buffer[74 + n], 1000.0 * 0.98 * cv[n]);
  EXPECT_EQ(state.pitch_sharpening, 0.2);
  EXPECT_EQ(state.erasure_seed, dectest::lcg_steps(21845, 4));
  EXPECT_EQ(state.cng_seed, 11111);
  double gc = 1000.0 * 0.98 * 0.98;
  for (int frame = 0; frame < 10; ++frame) {
    decoder_decode_erased(state, out);
    gc = gc * 0.98 * 0.98;
  }
  EXPECT_EQ(state.gain_code, gc);
}

// The gain predictor takes the mean less 4 dB down to -14; the LSF predictor
// takes the row that, with the last speech frame's mode, gives back the
// repeated LSFs.
TEST_F(Concealment, PredictorMemoriesFollowTheRepeatedFrame) {
  speech(kVoiced);  // mode 1
  state.gain_predictor_memory = {0.0, -4.0, -8.0, -12.0};
  const auto lsp = state.lsp_previous;
  const auto memory = state.lsf_ma_memory;
  decoder_decode_erased(state, out);
  EXPECT_EQ(state.gain_predictor_memory, (std::array<double, 4>{-9.5, -10.0, 0.0, -4.0}));
  EXPECT_EQ(state.lsp_previous, lsp);
  for (int j = 0; j < 10; ++j) {
    double lsf = state.lsf_ma_memory[0][j] * lsf_ma_coef_sum[1][j];
    for (int k = 0; k < 4; ++k) lsf += memory[k][j] * lsf_ma_coef[1][k][j];
    EXPECT_NEAR(lsf, std::acos(lsp[j]), 1e-12) << j;
  }
  for (int frame = 0; frame < 30; ++frame) decoder_decode_erased(state, out);
  EXPECT_EQ(state.gain_predictor_memory, (std::array<double, 4>{-14.0, -14.0, -14.0, -14.0}));
}

// At start, after speech and after an erased frame that followed speech
// there is no noise to continue: the gap is concealed.
TEST_F(Concealment, GapWithoutSidIsAnErasedFrame) {
  for (int lead : {0, 1, 2}) {
    SetUp();
    if (lead >= 1) speech(kVoiced);
    if (lead >= 2) decoder_decode_erased(state, out);
    DecoderState concealed = state;
    std::int16_t expected[80];
    decoder_decode_erased(concealed, expected);
    decoder_decode_untransmitted(state, out);
    EXPECT_EQ(std::memcmp(out, expected, sizeof out), 0) << lead;
    EXPECT_EQ(state.excitation_buffer, concealed.excitation_buffer) << lead;
    EXPECT_EQ(state.lsf_ma_memory, concealed.lsf_ma_memory) << lead;
    EXPECT_EQ(state.erasure_seed, concealed.erasure_seed) << lead;
  }
}

// Inside a silence period (after a SID frame, comfort noise, or an erased
// frame there) an erased frame counts as untransmitted: output and state as
// the untransmitted frame's, and the speech after it decodes the same. After
// speech that followed the noise it is concealed again.
TEST_F(Concealment, ErasedFrameInSilenceContinuesTheNoise) {
  for (int lead : {0, 1, 2, 3}) {
    SetUp();
    speech(kVoiced);
    sid(12);
    if (lead == 1) decoder_decode_untransmitted(state, out);
    if (lead == 2) decoder_decode_erased(state, out);
    if (lead == 3) speech(kVoiced);
    DecoderState untransmitted = state;
    std::int16_t expected[80];
    if (lead == 3) {
      decoder_decode_untransmitted(untransmitted, expected);  // concealed: the same as erased
      const std::int16_t seed = state.cng_seed;
      decoder_decode_erased(state, out);
      EXPECT_EQ(state.cng_seed, seed);  // no noise drawn
      EXPECT_EQ(state.previous_frame_kind, static_cast<std::int32_t>(FrameKind::Speech));
    } else {
      decoder_decode_untransmitted(untransmitted, expected);
      decoder_decode_erased(state, out);
      EXPECT_EQ(state.previous_frame_kind, static_cast<std::int32_t>(FrameKind::Sid)) << lead;
    }
    EXPECT_EQ(std::memcmp(out, expected, sizeof out), 0) << lead;
    EXPECT_EQ(state.excitation_buffer, untransmitted.excitation_buffer) << lead;
    EXPECT_EQ(state.synthesis_memory, untransmitted.synthesis_memory) << lead;
    EXPECT_EQ(state.postfilter_memory, untransmitted.postfilter_memory) << lead;
    EXPECT_EQ(state.sid_gain, untransmitted.sid_gain) << lead;
    EXPECT_EQ(state.cng_seed, untransmitted.cng_seed) << lead;
    EXPECT_EQ(state.erasure_seed, untransmitted.erasure_seed) << lead;
    EXPECT_EQ(state.lsf_ma_memory, untransmitted.lsf_ma_memory) << lead;
    EXPECT_EQ(state.gain_predictor_memory, untransmitted.gain_predictor_memory) << lead;
    EXPECT_EQ(state.previous_pitch_delay, untransmitted.previous_pitch_delay) << lead;
    EXPECT_EQ(state.gain_pitch, untransmitted.gain_pitch) << lead;
    EXPECT_EQ(state.agc_gain, untransmitted.agc_gain) << lead;
    EXPECT_EQ(state.received_frame_kind, untransmitted.received_frame_kind) << lead;
    speech(kLongDelay);
    ASSERT_TRUE(decoder_decode(untransmitted, dectest::speech_frame(kLongDelay), expected));
    EXPECT_EQ(std::memcmp(out, expected, sizeof out), 0) << lead;
  }
}

// A long gap (after a lost SID update too) continues the noise at the level
// a run of the same SID frames has, moves no predictor, and the speech frame
// after it decodes exactly as straight after the SID frame.
TEST_F(Concealment, LongGapKeepsTheNoiseAndSpeechResumesAsUsual) {
  speech(kVoiced);
  sid(5);
  sid(20);
  decoder_decode_erased(state, out);
  DecoderState with_sids = state, direct = state;
  double gap_db = 0.0, sid_db = 0.0;
  for (int frame = 0; frame < 200; ++frame) {
    const DecoderState before = state;
    decoder_decode_untransmitted(state, out);
    ASSERT_EQ(state.sid_gain, 0.875 * before.sid_gain + 0.125 * sid_gain_table[20]);
    ASSERT_EQ(state.cng_seed, dectest::lcg_steps(before.cng_seed, 966));
    std::int16_t other[80];
    ASSERT_TRUE(decoder_decode(with_sids, dectest::sid_frame(0, 20, 5, 20), other));
    for (int n = 0; n < 80 && frame >= 100; ++n) {
      gap_db += static_cast<double>(out[n]) * out[n];
      sid_db += static_cast<double>(other[n]) * other[n];
    }
  }
  EXPECT_GT(gap_db, 80 * 100 * 100.0);
  EXPECT_NEAR(10 * std::log10(gap_db / sid_db), 0.0, 1.0);
  EXPECT_EQ(state.lsf_ma_memory, direct.lsf_ma_memory);
  EXPECT_EQ(state.gain_predictor_memory, direct.gain_predictor_memory);
  EXPECT_EQ(state.lsp_previous, state.sid_lsp);

  speech(kLongDelay);
  ASSERT_TRUE(decoder_decode(direct, dectest::speech_frame(kLongDelay), out));
  EXPECT_EQ(state.lsp_previous, direct.lsp_previous);
  EXPECT_EQ(state.gain_code, direct.gain_code);
  EXPECT_EQ(state.previous_pitch_delay, direct.previous_pitch_delay);
}

// Whatever the guard does with a runaway state, missing frames pass it too.
TEST_F(Concealment, MissingFramesPassTheRunawayGuard) {
  for (bool untransmitted : {false, true}) {
    SetUp();
    sid(3);
    state.synthesis_memory[9] = std::numeric_limits<double>::quiet_NaN();
    untransmitted ? decoder_decode_untransmitted(state, out) : decoder_decode_erased(state, out);
    EXPECT_TRUE(decoder_state_finite(state)) << untransmitted;
  }
}

}  // namespace
