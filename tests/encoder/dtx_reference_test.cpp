// The DTX encoder's decisions on the published Annex B input sequences,
// against the reference bitstreams: how often the speech/non-speech choice
// agrees, and the bit rates side by side.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "g729a/codec.h"
#include "itu_serial.h"
#include "support/test_support.h"

namespace {

struct Figures {
  int frames = 0;
  int agree = 0;
  int ours_bits = 0;
  int theirs_bits = 0;
};

int frame_bits(std::size_t bytes) {
  return bytes == 10 ? 80 : bytes == 2 ? 16 : 0;
}

Figures measure(const std::string& name) {
  const std::string dir = testsupport::shared_dir() + "/testvectors/g729b/";
  const auto pcm = testsupport::read_pcm(dir + name + ".bin");
  std::vector<g729io::SerialFrame> reference;
  std::string error;
  EXPECT_TRUE(g729io::parse_serial(testsupport::read_file(dir + name + "a.bit"), reference, error))
      << error;
  auto state = std::make_unique<g729a::EncoderState>();
  g729a::encoder_init(*state, {.dtx = true});
  Figures f;
  const bool trace = std::getenv("G729A_VAD_TRACE") != nullptr;
  for (std::size_t i = 0; i + 80 <= pcm.size() && f.frames < static_cast<int>(reference.size());
       i += 80, ++f.frames) {
    std::array<std::uint8_t, 10> frame{};
    const std::size_t n =
        g729a::encoder_encode(*state, std::span<const std::int16_t, 80>(pcm.data() + i, 80), frame);
    const auto& ref = reference[f.frames];
    const bool ours_speech = n == 10;
    const bool theirs_speech = ref.kind == g729io::SerialFrameKind::Speech;
    f.agree += ours_speech == theirs_speech;
    f.ours_bits += frame_bits(n);
    f.theirs_bits += frame_bits(ref.bytes.size());
    if (trace) {
      const auto& v = state->vad.last;
      std::printf("%s %4d %c%c E %6.2f/%6.2f L %6.2f/%6.2f D %7.4f Z %5.3f/%5.3f\n", name.c_str(),
                  f.frames, theirs_speech ? 'S' : (ref.bytes.empty() ? '.' : 'D'),
                  n == 10  ? 'S'
                  : n == 2 ? 'D'
                           : '.',
                  v.energy, state->vad.energy_bg, v.low, state->vad.low_bg, v.distance, v.crossings,
                  state->vad.crossings_bg);
    }
  }
  return f;
}

TEST(DtxReference, DecisionsAndBitRatesMatchTheReferenceBitstreams) {
  int frames = 0, agree = 0;
  for (const char* name : {"tstseq1", "tstseq2", "tstseq3", "tstseq4"}) {
    const Figures f = measure(name);
    ASSERT_GT(f.frames, 0);
    const double ours = f.ours_bits / (f.frames * 0.01) / 1000.0;
    const double theirs = f.theirs_bits / (f.frames * 0.01) / 1000.0;
    std::printf(
        "[ DTX      ] %s: %d frames, decisions agree %5.1f%%, %.2f kbit/s (reference %.2f)\n", name,
        f.frames, 100.0 * f.agree / f.frames, ours, theirs);
    EXPECT_NEAR(ours, theirs, 0.2 * theirs) << name;
    frames += f.frames;
    agree += f.agree;
  }
  std::printf("[ DTX      ] all: %d frames, decisions agree %5.1f%%\n", frames,
              100.0 * agree / frames);
  EXPECT_EQ(frames, 2927);
  EXPECT_GE(agree, 0.93 * frames);
}

}  // namespace
