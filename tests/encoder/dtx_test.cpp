// The DTX encoder against a decoder that receives its frames: after any run
// of speech, SID and untransmitted frames both sides hold the same
// excitation, predictor memories and comfort-noise state. Also the DTX-off
// path, the SID frame's fields, its energy index and its envelope search.
#include "codec/encoder/dtx.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "codec/common/frame_format.h"
#include "codec/common/lp.h"
#include "codec/common/lsf.h"
#include "codec/common/tables.h"
#include "codec/decoder/sid_decode.h"
#include "codec/encoder/frame_trace.h"
#include "g729a/codec.h"
#include "support/test_support.h"

namespace {

using g729a::DecoderState;
using g729a::EncoderState;

struct Rng {
  std::uint32_t s;
  std::uint32_t next() { return (s = s * 1664525u + 1013904223u) >> 8; }
  double gaussian() {
    double sum = 0.0;
    for (int i = 0; i < 12; ++i) sum += (next() & 0xFFFF) / 65536.0;
    return sum - 6.0;
  }
};

// Stretches of random length of speech in noise, noise alone and isolated
// noise bursts, the noise's level and colour changing from time to time so that
// SID updates happen.
std::vector<std::int16_t> random_sequence(std::uint32_t seed, int frames) {
  const auto talk =
      testsupport::read_pcm(std::string(G729A_SOURCE_DIR) + "/data/speech/librivox_austen_8k.raw");
  Rng rng{seed};
  std::vector<std::int16_t> out;
  double level = 100.0, colour = 0.0, prev = 0.0;
  while (static_cast<int>(out.size()) < 80 * frames) {
    const int length = 1 + static_cast<int>(rng.next() % 60);
    const int kind = static_cast<int>(rng.next() % 4);
    if (rng.next() % 3 == 0) level = 10.0 + (rng.next() % 3000);
    if (rng.next() % 3 == 0) colour = (rng.next() % 180) / 200.0;
    const std::size_t start = (rng.next() % (talk.size() / 80 - 60)) * 80;
    for (int n = 0; n < 80 * length; ++n) {
      prev = colour * prev + rng.gaussian() * level;
      double v = prev + (kind == 0 ? talk[start + n] : 0);
      if (kind == 3 && (n / 80) % 2) v = 0.0;
      out.push_back(static_cast<std::int16_t>(std::clamp(std::round(v), -32768.0, 32767.0)));
    }
  }
  out.resize(80 * static_cast<std::size_t>(frames));
  return out;
}

// The first field where encoder and decoder differ, "" when none.
std::string departure(const EncoderState& e, const DecoderState& d) {
  if (!std::equal(e.excitation_buffer.begin(),
                  e.excitation_buffer.begin() + g729a::kExcitationHistory,
                  d.excitation_buffer.begin())) {
    return "excitation";
  }
  if (e.lsf_ma_memory != d.lsf_ma_memory) return "lsf_ma_memory";
  if (e.gain_predictor_memory != d.gain_predictor_memory) return "gain_predictor_memory";
  if (e.lsp_previous_quantized != d.lsp_previous) return "lsp_previous";
  if (e.pitch_sharpening != d.pitch_sharpening) return "pitch_sharpening";
  if (d.previous_frame_kind == static_cast<std::int32_t>(g729a::FrameKind::Sid)) {
    const auto& x = e.dtx_state;
    if (x.cng_seed != d.cng_seed) return "cng_seed";
    if (x.sid_gain != d.sid_gain || x.sid_received_gain != d.sid_received_gain) return "sid_gain";
    if (x.sid_lsp != d.sid_lsp) return "sid_lsp";
  }
  return "";
}

TEST(DtxInStep, EncoderFollowsADecoderOverLongRandomSequences) {
  for (std::uint32_t seed : {1u, 2u, 3u, 4u}) {
    const auto pcm = random_sequence(seed, 3000);
    auto enc = std::make_unique<EncoderState>();
    auto dec = std::make_unique<DecoderState>();
    g729a::encoder_init(*enc, {.dtx = true});
    g729a::decoder_init(*dec);
    std::array<int, 11> kinds{};
    int speech_after_gap = 0;
    std::size_t previous = 10;
    for (int f = 0; f < 3000; ++f) {
      std::array<std::uint8_t, 10> frame;
      frame.fill(0xEE);
      const std::size_t n = g729a::encoder_encode(
          *enc, std::span<const std::int16_t, 80>(pcm.data() + 80 * f, 80), frame);
      ASSERT_TRUE(n == 10 || n == 2 || n == 0) << n;
      ++kinds[n];
      speech_after_gap += n == 10 && previous != 10;
      previous = n;
      std::array<std::int16_t, 80> out;
      if (n == 0) {
        EXPECT_EQ(frame[0], 0xEE) << "nothing sent leaves the bytes as they were";
        g729a::decoder_decode_untransmitted(*dec, out);
      } else {
        EXPECT_TRUE(n == 10 || (frame[1] & 1) == 0) << "the SID frame's last bit is 0";
        ASSERT_TRUE(
            g729a::decoder_decode(*dec, std::span<const std::uint8_t>(frame.data(), n), out));
      }
      ASSERT_EQ(departure(*enc, *dec), "")
          << "seed " << seed << ", frame " << f << " (" << n << " bytes)";
    }
    // The run covers every kind and speech resuming after silence.
    EXPECT_GT(kinds[10], 300) << seed;
    EXPECT_GT(kinds[2], 30) << seed;
    EXPECT_GT(kinds[0], 300) << seed;
    EXPECT_GT(speech_after_gap, 20) << seed;
  }
}

TEST(DtxOff, EveryFrameIsSpeechAndBitsAreUnchanged) {
  const auto pcm = random_sequence(9, 400);
  auto a = std::make_unique<EncoderState>();
  auto b = std::make_unique<EncoderState>();
  g729a::encoder_init(*a);
  g729a::encoder_init(*b, {.dtx = false});
  for (int f = 0; f < 400; ++f) {
    const std::span<const std::int16_t, 80> in(pcm.data() + 80 * f, 80);
    std::array<std::uint8_t, 10> x, y;
    ASSERT_EQ(g729a::encoder_encode(*a, in, x), 10u);
    g729a::FrameTrace* none = nullptr;
    g729a::encoder_encode_traced(*b, in, y, none);
    ASSERT_EQ(x, y) << f;
  }
}

TEST(Sid, PackedFieldsReadBack) {
  for (int v : {0, 1, 9, 15, 17, 30, 31}) {
    g729a::FrameParameters p;
    p.kind = g729a::FrameKind::Sid;
    p.slots[0] = v % 2;
    p.slots[1] = v;
    p.slots[2] = 15 - v % 16;
    p.slots[3] = 31 - v;
    std::array<std::uint8_t, 2> bytes;
    g729a::pack_sid_frame(p, bytes);
    EXPECT_EQ(bytes[1] & 1, 0);
    g729a::FrameParameters q;
    ASSERT_TRUE(g729a::unpack_frame(bytes.data(), 2, q));
    EXPECT_EQ(q.kind, g729a::FrameKind::Sid);
    EXPECT_EQ(q.slots, p.slots) << v;
  }
}

// Each table entry's power gives its own index; between two entries the
// geometric midpoint divides them; the ends clamp.
TEST(Sid, EnergyIndexNearestOnALogScale) {
  const auto& g = g729a::sid_gain_table;
  for (int i = 0; i < 32; ++i) {
    EXPECT_EQ(g729a::sid_energy_index(g[i] * g[i]), i);
    if (i < 31) {
      EXPECT_EQ(g729a::sid_energy_index(g[i] * g[i + 1] * 0.999), i);
      EXPECT_EQ(g729a::sid_energy_index(g[i] * g[i + 1] * 1.001), i + 1);
    }
  }
  EXPECT_EQ(g729a::sid_energy_index(0.0), 0);
  EXPECT_EQ(g729a::sid_energy_index(1e12), 31);
}

// For a steady coloured noise the SID frame names, of every envelope a SID
// frame can name (rebuilt as a decoder does), the closest to the noise's own
// or one within a whisker of it.
TEST(Sid, QuantizedEnvelopeIsTheClosestDecodable) {
  Rng rng{77};
  std::vector<double> x(240);
  double p = 0.0;
  for (auto& v : x) v = p = 0.6 * p + 300.0 * rng.gaussian();
  std::array<double, 11> r{};
  for (int k = 0; k <= 10; ++k) {
    for (int n = k; n < 240; ++n)
      r[k] += x[n] * x[n - k] * g729a::lp_window[n] * g729a::lp_window[n - k];
    if (k > 0) r[k] *= g729a::lag_window[k - 1];
  }
  r[0] *= 1.0001;
  g729a::LsfMaMemory memory;
  g729a::lsf_ma_memory_init(memory);
  std::array<double, 10> fallback, target;
  for (int i = 0; i < 10; ++i) fallback[i] = std::cos(0.28 * (i + 1));
  g729a::FrameParameters sid;
  g729a::LpVector filter, a;
  g729a::sid_quantize(r, std::array<std::array<double, 11>, 1>{r}, memory, fallback, sid, filter);
  ASSERT_EQ(sid.kind, g729a::FrameKind::Sid);
  std::array<double, 10> rc;
  g729a::levinson_durbin(r, a, rc);
  g729a::lp_to_lsp(a, fallback, target);
  auto distance = [&](int sw, int s1, int s2) {
    g729a::LsfMaMemory m = memory;
    std::array<double, 10> q;
    g729a::sid_lsf_decode(sw, s1, s2, m, q);
    double d = 0.0;
    for (int j = 0; j < 10; ++j) d += std::pow(std::acos(q[j]) - std::acos(target[j]), 2);
    return d;
  };
  double best = 1e38;
  for (int i = 0; i < 2 * 32 * 16; ++i)
    best = std::min(best, distance(i / 512, i / 16 % 32, i % 16));
  EXPECT_LE(distance(sid.slots[0], sid.slots[1], sid.slots[2]), 1.5 * best);
}

}  // namespace
