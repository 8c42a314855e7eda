#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "codec/common/frame_format.h"
#include "codec/common/lsf.h"
#include "codec/encoder/frame_trace.h"
#include "g729a/codec.h"

namespace g729a {
namespace {

std::unique_ptr<EncoderState> fresh_encoder() {
  auto state = std::make_unique<EncoderState>();
  // Garbage first: encoder_init must set every codec field itself.
  std::memset(static_cast<void*>(state.get()), 0xA5, sizeof(EncoderState));
  encoder_init(*state);
  return state;
}

// The samples rounded to PCM, through the whole API; returns the frame's
// parameter record as the encoder decided it.
FrameParameters encode(EncoderState& state, std::span<const double, 80> samples) {
  std::array<std::int16_t, 80> pcm;
  for (int i = 0; i < 80; ++i) {
    pcm[i] = static_cast<std::int16_t>(std::lround(std::clamp(samples[i], -32768.0, 32767.0)));
  }
  std::array<std::uint8_t, kSpeechFrameBytes> frame;
  FrameTrace trace;
  trace.parameters.kind = FrameKind::Sid;
  trace.parameters.slots.fill(-1);
  encoder_encode_traced(state, pcm, frame, &trace);
  return trace.parameters;
}

bool all_finite(const EncoderState& s) {
  const auto finite = [](const auto& values) {
    for (double v : values) {
      if (!std::isfinite(v)) return false;
    }
    return true;
  };
  bool ok = finite(s.speech_buffer) && finite(s.weighted_speech_buffer) &&
            finite(s.excitation_buffer) && finite(s.lsp_previous) &&
            finite(s.lsp_previous_quantized) && finite(s.target_filter_memory) &&
            finite(s.weighted_speech_filter_memory) && finite(s.zero_filter_memory) &&
            finite(s.taming_error) && finite(s.gain_predictor_memory) &&
            std::isfinite(s.pitch_sharpening) && finite(s.preprocess_memory);
  for (const auto& row : s.lsf_ma_memory) ok = ok && finite(row);
  return ok;
}

// Every slot within its width, P0 the parity of P1, P2 never 0 or 31.
void expect_valid_speech_frame(const FrameParameters& p, const char* what, int frame) {
  static constexpr std::array<int, 11> kWidths = {8, 10, 8, 1, 13, 4, 7, 5, 13, 4, 7};
  EXPECT_EQ(p.kind, FrameKind::Speech) << what << " frame " << frame;
  for (int i = 0; i < 11; ++i) {
    EXPECT_GE(p.slots[i], 0) << what << " frame " << frame << " slot " << i + 1;
    EXPECT_LT(p.slots[i], 1 << kWidths[i]) << what << " frame " << frame << " slot " << i + 1;
  }
  EXPECT_GE(p.slots[kSlotP1], 1) << what << " frame " << frame;
  EXPECT_EQ(p.slots[kSlotP0], pitch_parity(p.slots[kSlotP1])) << what << " frame " << frame;
  EXPECT_GE(p.slots[kSlotP2], 1) << what << " frame " << frame;
  EXPECT_LE(p.slots[kSlotP2], 30) << what << " frame " << frame;
}

TEST(FrameDriverTest, InitialStateFollowsTheRecord) {
  auto s = fresh_encoder();
  for (double v : s->speech_buffer) EXPECT_EQ(v, 0.0);
  for (int i = 0; i < 143; ++i) EXPECT_EQ(s->weighted_speech_buffer[i], 0.0);
  for (int i = 0; i < 154; ++i) EXPECT_EQ(s->excitation_buffer[i], 0.0);
  const std::array<double, 10> lsp = {0.9595,  0.8413,  0.6549,  0.4154,  0.1423,
                                      -0.1423, -0.4154, -0.6549, -0.8413, -0.9595};
  EXPECT_EQ(s->lsp_previous, lsp);
  EXPECT_EQ(s->lsp_previous_quantized, lsp);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(s->target_filter_memory[i], 0.0);
    EXPECT_EQ(s->weighted_speech_filter_memory[i], 0.0);
    EXPECT_EQ(s->zero_filter_memory[i], 0.0);
  }
  EXPECT_EQ(s->pitch_sharpening, 0.2);
  for (const auto& row : s->lsf_ma_memory) EXPECT_EQ(row, lsf_ma_memory_reset);
  for (double v : s->taming_error) EXPECT_EQ(v, 1.0);
  for (double v : s->gain_predictor_memory) EXPECT_EQ(v, -14.0);
  for (double v : s->preprocess_memory) EXPECT_EQ(v, 0.0);
}

TEST(FrameDriverTest, InitRestartsThePreprocessingFilter) {
  // A channel restarted mid-call must code exactly like a new one: no
  // high-pass memory may carry over from the previous call.
  std::array<double, 80> loud;
  for (int i = 0; i < 80; ++i) loud[i] = 20000.0 * std::sin(0.7 * i) + 9000.0;
  std::array<double, 80> quiet;
  for (int i = 0; i < 80; ++i) quiet[i] = 300.0 * std::sin(0.2 * i);
  auto used = fresh_encoder();
  for (int f = 0; f < 3; ++f) encode(*used, loud);
  ASSERT_NE(used->preprocess_memory[2], 0.0);
  encoder_init(*used);
  auto fresh = fresh_encoder();
  for (int f = 0; f < 4; ++f)
    EXPECT_EQ(encode(*used, quiet).slots, encode(*fresh, quiet).slots) << f;
}

using Generator = std::function<double(int n)>;

struct Signal {
  const char* name;
  Generator sample;
};

std::vector<Signal> extreme_signals() {
  return {
      {"silence", [](int) { return 0.0; }},
      {"dc max", [](int) { return 32767.0; }},
      {"dc min", [](int) { return -32768.0; }},
      {"alternating", [](int n) { return n % 2 == 0 ? 32767.0 : -32768.0; }},
      {"square 20", [](int n) { return (n / 10) % 2 == 0 ? 32767.0 : -32768.0; }},
      {"square 143", [](int n) { return n % 143 < 72 ? 32767.0 : -32768.0; }},
      {"square 400", [](int n) { return (n / 200) % 2 == 0 ? 32767.0 : -32768.0; }},
      {"impulse", [](int n) { return n == 1000 ? 32767.0 : 0.0; }},
      {"white noise",
       [](int n) {
         std::uint32_t x = static_cast<std::uint32_t>(n) * 2654435761u + 12345u;
         x ^= x >> 13;
         x *= 0x5bd1e995u;
         x ^= x >> 15;
         return static_cast<double>(static_cast<std::int16_t>(x & 0xFFFF));
       }},
      {"full-scale sweep", [](int n) { return std::round(32767.0 * std::sin(0.00005 * n * n)); }},
  };
}

TEST(FrameDriverTest, ExtremeInputStaysFiniteAndValid) {
  for (const Signal& signal : extreme_signals()) {
    auto s = fresh_encoder();
    for (int f = 0; f < 150; ++f) {
      std::array<double, 80> frame;
      for (int i = 0; i < 80; ++i) frame[i] = signal.sample(80 * f + i);
      const FrameParameters p = encode(*s, frame);
      expect_valid_speech_frame(p, signal.name, f);
      ASSERT_TRUE(all_finite(*s)) << signal.name << " frame " << f;
    }
  }
}

TEST(FrameDriverTest, SwitchingBetweenExtremesStaysFinite) {
  auto s = fresh_encoder();
  const auto signals = extreme_signals();
  int f = 0;
  for (int round = 0; round < 3; ++round) {
    for (const Signal& signal : signals) {
      for (int k = 0; k < 7; ++k, ++f) {
        std::array<double, 80> frame;
        for (int i = 0; i < 80; ++i) frame[i] = signal.sample(80 * f + i);
        const FrameParameters p = encode(*s, frame);
        expect_valid_speech_frame(p, signal.name, f);
        ASSERT_TRUE(all_finite(*s)) << signal.name << " frame " << f;
      }
    }
  }
}

TEST(FrameDriverTest, SilenceKeepsTheWeightedSpeechExactlyZero) {
  // The code gain never reaches zero, so the excitation and the target
  // memory stay alive in silence; the speech side must not.
  auto s = fresh_encoder();
  std::array<double, 80> zeros{};
  for (int f = 0; f < 20; ++f) expect_valid_speech_frame(encode(*s, zeros), "silence", f);
  for (double v : s->weighted_speech_filter_memory) EXPECT_EQ(v, 0.0);
  for (double v : s->weighted_speech_buffer) EXPECT_EQ(v, 0.0);
  for (double v : s->zero_filter_memory) EXPECT_EQ(v, 0.0);
}

TEST(FrameDriverTest, HistoriesMoveByOneFrame) {
  auto s = fresh_encoder();
  for (int f = 0; f < 6; ++f) {
    std::array<double, 80> frame;
    for (int i = 0; i < 80; ++i) frame[i] = 8000.0 * std::sin(0.3 * (80 * f + i));
    const auto speech_before = s->speech_buffer;
    encode(*s, frame);
    // The new frame lands behind the kept history, which moves down by one frame.
    for (int i = 0; i < 80; ++i) EXPECT_EQ(s->speech_buffer[i], speech_before[80 + i]) << f;
  }
}

TEST(FrameDriverTest, StateMayBeCopiedBetweenFrames) {
  // The host owns the block and may move it: positions are indices, so a
  // byte copy continues exactly like the original.
  auto a = fresh_encoder();
  auto b = std::make_unique<EncoderState>();
  for (int f = 0; f < 40; ++f) {
    std::array<double, 80> frame;
    for (int i = 0; i < 80; ++i) frame[i] = 6000.0 * std::sin(0.05 * (80 * f + i) + 0.001 * f * i);
    if (f == 20) std::memcpy(static_cast<void*>(b.get()), a.get(), sizeof(EncoderState));
    const FrameParameters pa = encode(*a, frame);
    if (f >= 20) {
      const FrameParameters pb = encode(*b, frame);
      EXPECT_EQ(pa.slots, pb.slots) << f;
    }
  }
}

}  // namespace
}  // namespace g729a
