#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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

// Every double the state holds, whether the guard looks at it or not.
bool every_value_finite(const DecoderState& s) {
  bool ok = true;
  auto check = [&](auto const& a) {
    for (double v : a) ok = ok && std::isfinite(v);
  };
  check(s.excitation_buffer), check(s.lsp_previous), check(s.synthesis_memory);
  check(s.sid_lsp), check(s.gain_predictor_memory), check(s.postproc_memory);
  check(s.residual_buffer), check(s.postfilter_memory), check(s.synthesis_buffer);
  for (const auto& row : s.lsf_ma_memory) check(row);
  check(std::array{s.pitch_sharpening, s.gain_code, s.gain_pitch, s.sid_gain, s.sid_received_gain,
                   s.tilt_memory, s.agc_gain});
  return ok;
}

double largest_signal_value(const DecoderState& s) {
  double m = 0;
  for (double v : s.excitation_buffer) m = std::fmax(m, std::fabs(v));
  for (double v : s.synthesis_buffer) m = std::fmax(m, std::fabs(v));
  return m;
}

TEST(StateGuard, SeesANonFiniteValueInEveryPlaceThatCarriesOver) {
  DecoderState s;
  decoder_init(s);
  EXPECT_TRUE(decoder_state_finite(s));
  const double inf = std::numeric_limits<double>::infinity();
  // The first and last places of each region the next frame reads.
  for (double v : {std::numeric_limits<double>::quiet_NaN(), inf, -inf}) {
    for (double* field : {&s.excitation_buffer[74], &s.excitation_buffer[153],
                          &s.residual_buffer[63], &s.residual_buffer[142], &s.synthesis_buffer[0],
                          &s.synthesis_buffer[9], &s.synthesis_memory[0], &s.synthesis_memory[9],
                          &s.postfilter_memory[0], &s.postfilter_memory[9], &s.postproc_memory[0],
                          &s.postproc_memory[3], &s.tilt_memory, &s.agc_gain}) {
      const double keep = *field;
      *field = v;
      EXPECT_FALSE(decoder_state_finite(s))
          << v << " at offset " << (reinterpret_cast<char*>(field) - reinterpret_cast<char*>(&s));
      *field = keep;
    }
  }
  // However large, a finite value is left alone.
  for (double v : {std::numeric_limits<double>::max(), -1e300, 2.7e153}) {
    s.excitation_buffer[100] = v;
    s.residual_buffer[100] = v;
    s.agc_gain = v;
    EXPECT_TRUE(decoder_state_finite(s)) << v;
  }
}

// A peer repeating pitch gain 1.356 at delay 20, then a frame with a lower
// gain: the values climb to about 1e14 and stay finite, so the guarded
// decoder must give exactly what the frame arithmetic gives.
TEST(StateGuard, LargeButFiniteStreamDecodesExactlyAsWithoutTheGuard) {
  const std::uint8_t climb[10] = {0x00, 0x00, 0x00, 0x60, 0x00, 0xF0, 0xA5, 0x00, 0x07, 0x85};
  const std::uint8_t settle[10] = {0x00, 0x00, 0x0F, 0x20, 0x00, 0xF0, 0x05, 0x00, 0x07, 0x80};
  DecoderState guarded, plain;
  decoder_init(guarded);
  decoder_init(plain);
  double peak = 0;
  for (int i = 0; i < 110; ++i) {
    const std::uint8_t* frame = i < 40 ? climb : settle;
    std::int16_t a[80], b[80];
    ASSERT_TRUE(decoder_decode(guarded, std::span(frame, 10), a));
    ASSERT_TRUE(decoder_decode_unguarded(plain, std::span(frame, 10), b));
    ASSERT_TRUE(every_value_finite(plain)) << "frame " << i;
    ASSERT_TRUE(std::equal(a, a + 80, b)) << "frame " << i;
    peak = std::fmax(peak, largest_signal_value(plain));
  }
  EXPECT_GT(peak, 1e13);  // far beyond any real signal, yet legitimate
}

// Repeating the climbing frame overflows after some hundreds of frames. The
// channel restarts in exactly the frame whose arithmetic left a non-finite
// value behind, not earlier, and then decodes like a fresh one.
TEST(StateGuard, OverflowingStreamRestartsInTheFrameItOverflowsAndRecovers) {
  const std::uint8_t climb[10] = {0x00, 0x00, 0x00, 0x60, 0x00, 0xF0, 0xA5, 0x00, 0x07, 0x85};
  DecoderState guarded, plain;
  decoder_init(guarded);
  decoder_init(plain);
  int overflow_frame = -1;
  for (int i = 0; i < 3000 && overflow_frame < 0; ++i) {
    std::int16_t a[80], b[80];
    ASSERT_TRUE(decoder_decode(guarded, std::span(climb, 10), a));
    ASSERT_TRUE(decoder_decode_unguarded(plain, std::span(climb, 10), b));
    if (!every_value_finite(plain)) {
      overflow_frame = i;
    } else {
      ASSERT_TRUE(std::equal(a, a + 80, b)) << "frame " << i;
      ASSERT_EQ(std::memcmp(guarded.excitation_buffer.data(), plain.excitation_buffer.data(),
                            sizeof plain.excitation_buffer),
                0)
          << "frame " << i;
    }
  }
  ASSERT_GT(overflow_frame, 100);
  EXPECT_TRUE(every_value_finite(guarded));
  EXPECT_EQ(largest_signal_value(guarded), 0.0);
  EXPECT_EQ(guarded.agc_gain, 1.0);

  // Ordinary frames, speech and comfort noise, then decode exactly as on a
  // channel that never saw the runaway.
  const auto speech = dectest::speech_frame({.L1 = 50,
                                             .P1 = 60,
                                             .C1 = 1234,
                                             .S1 = 5,
                                             .G1 = 0x54,
                                             .P2 = 12,
                                             .C2 = 4321,
                                             .S2 = 10,
                                             .G2 = 0x36});
  const auto sid = dectest::sid_frame(0, 3, 7, 12);
  DecoderState fresh;
  decoder_init(fresh);
  for (int i = 0; i < 30; ++i) {
    const std::uint8_t* frame = i % 10 < 7 ? speech.data() : sid.data();
    const std::size_t length = i % 10 < 7 ? 10 : 2;
    std::int16_t a[80], b[80];
    ASSERT_TRUE(decoder_decode(guarded, std::span(frame, length), a));
    ASSERT_TRUE(decoder_decode(fresh, std::span(frame, length), b));
    ASSERT_TRUE(std::equal(a, a + 80, b)) << "frame " << i;
  }
}

}  // namespace
