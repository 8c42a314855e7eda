#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <span>
#include <vector>

#include "codec/decoder/state_guard.h"
#include "decoder/frames.h"
#include "g729a/codec.h"

namespace {

using namespace g729a;

struct Decoder : ::testing::Test {
  DecoderState state;
  std::int16_t out[80];
  void SetUp() override { decoder_init(state); }
  bool decode(const dectest::SpeechFields& f) {
    return decoder_decode(state, dectest::speech_frame(f), out);
  }
};

TEST_F(Decoder, OtherLengthsAreRefusedWithoutTouchingAnything) {
  decode({.P1 = 40, .G1 = 20, .G2 = 20});
  const DecoderState before = state;
  const std::uint8_t payload[11] = {};
  std::vector<std::size_t> lengths = {0, 1, 3, 9, 11};
  // A length that narrowed to int would read as a speech frame.
  if constexpr (sizeof(std::size_t) > 4) lengths.push_back((std::size_t{1} << 32) + 10);
  for (std::size_t length : lengths) {
    std::fill(std::begin(out), std::end(out), std::int16_t{1234});
    EXPECT_FALSE(decoder_decode(state, std::span(payload, length), out)) << length;
    EXPECT_EQ(std::memcmp(&before, &state, sizeof state), 0) << length;
    EXPECT_EQ(std::count(std::begin(out), std::end(out), 1234), 80);
  }
}

TEST_F(Decoder, ParityErrorConcealsTheFirstDelay) {
  decode({.P1 = 0, .P0 = 1});  // consistent: T1 = 19, P2 = 0 gives 19
  EXPECT_EQ(state.previous_pitch_delay, 19);
  decoder_init(state);
  decode({.P1 = 0, .P0 = 0});  // error on the first frame: T1 = 60, P2 = 0 gives 54
  EXPECT_EQ(state.previous_pitch_delay, 54);
  decode({.P1 = 100, .P2 = 31});  // 53, then 58
  EXPECT_EQ(state.previous_pitch_delay, 58);
  decode({.P1 = 100, .P0 = pitch_parity(100) ^ 1, .P2 = 2});  // T1 = 58, then 53
  EXPECT_EQ(state.previous_pitch_delay, 53);
}

TEST(StateGuard, CatchesNonFiniteAndRunawayValues) {
  DecoderState s;
  decoder_init(s);
  EXPECT_TRUE(decoder_state_within_bounds(s));
  for (double v : {std::numeric_limits<double>::quiet_NaN(),
                   -std::numeric_limits<double>::infinity(), 2 * kRunawayBound}) {
    for (double* field :
         {&s.excitation_buffer[0], &s.synthesis_buffer[89], &s.residual_buffer[7],
          &s.postfilter_memory[9], &s.postproc_memory[3], &s.agc_gain, &s.synthesis_memory[0]}) {
      const double keep = *field;
      *field = v;
      EXPECT_FALSE(decoder_state_within_bounds(s)) << v;
      *field = keep;
    }
  }
}

// A peer repeating the largest pitch gain (GA = 0, GB = 5) would drive the
// excitation to infinity; the channel must recover on its own.
TEST_F(Decoder, RunawayStreamRecoversAndValidFramesFollow) {
  double peak = 0;
  int restarts = 0;
  for (int i = 0; i < 1500; ++i) {
    ASSERT_TRUE(decode({.P1 = 100, .C1 = 99, .G1 = 5, .P2 = 17, .C2 = 5, .G2 = 5}));
    ASSERT_TRUE(decoder_state_within_bounds(state)) << "frame " << i;
    double m = 0;
    for (double v : state.excitation_buffer) m = std::fmax(m, std::fabs(v));
    restarts += m < peak / 1e6;
    peak = m;
  }
  EXPECT_GT(restarts, 10);

  // Ordinary frames (pitch gains 0.05 and 0.24) then decode as on a fresh
  // channel once the past has died out.
  const auto valid = dectest::speech_frame({.L1 = 50,
                                            .P1 = 60,
                                            .C1 = 1234,
                                            .S1 = 5,
                                            .G1 = 0x54,
                                            .P2 = 12,
                                            .C2 = 4321,
                                            .S2 = 10,
                                            .G2 = 0x36});
  DecoderState fresh;
  decoder_init(fresh);
  std::int16_t ref[80];
  int max_diff = 0;
  for (int i = 0; i < 30; ++i) {
    ASSERT_TRUE(decoder_decode(state, valid, out));
    decoder_decode(fresh, valid, ref);
    for (int n = 0; n < 80 && i >= 20; ++n)
      max_diff = std::max(max_diff, std::abs(out[n] - ref[n]));
  }
  EXPECT_LE(max_diff, 1);
}

}  // namespace
