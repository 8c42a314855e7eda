// The DTX encoder on labelled material: speech with pauses under white,
// pink, rumble and babble noise at 30, 15 and 5 dB SNR, clean speech and a
// quiet talker. Speech goes out as speech, long pauses as SID frames or
// nothing, and the decoded comfort noise matches the noise it replaces.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "g729a/codec.h"
#include "support/labelled_material.h"

namespace {

using labelled::Label;
using labelled::Noise;

// The targets are 99% of strong speech sent at 15 dB SNR and above, 97% at
// 5 dB, and 70% of far pauses silent at 15 dB and above. Where the detector
// falls short the floor is what it reaches, so that it cannot get worse
// unnoticed: strong speech under noise at 5 and 15 dB, the quiet talker, and
// pauses in babble (speech-like noise that the detector takes for speech).
struct Case {
  const char* name;
  Noise noise;
  double snr_db, speech_dbov, strong_floor, pause_floor;
};

const Case kCases[] = {
    {"clean", Noise::None, 0, -26, 0.99, 0.70},
    {"quiet", Noise::None, 0, -42, 0.97, 0.70},
    {"white_30dB", Noise::White, 30, -26, 0.985, 0.70},
    {"white_15dB", Noise::White, 15, -26, 0.96, 0.70},
    {"white_5dB", Noise::White, 5, -26, 0.83, 0.0},
    {"pink_30dB", Noise::Pink, 30, -26, 0.99, 0.70},
    {"pink_15dB", Noise::Pink, 15, -26, 0.96, 0.70},
    {"pink_5dB", Noise::Pink, 5, -26, 0.83, 0.0},
    {"rumble_30dB", Noise::Rumble, 30, -26, 0.99, 0.70},
    {"rumble_15dB", Noise::Rumble, 15, -26, 0.96, 0.70},
    {"rumble_5dB", Noise::Rumble, 5, -26, 0.95, 0.0},
    {"babble_30dB", Noise::Babble, 30, -26, 0.99, 0.75},
    {"babble_15dB", Noise::Babble, 15, -26, 0.99, 0.10},
    {"babble_5dB", Noise::Babble, 5, -26, 0.95, 0.0},
};

class LabelledMaterial : public ::testing::TestWithParam<Case> {};

TEST_P(LabelledMaterial, SpeechSentPausesSilentAndComfortNoiseLevel) {
  const Case& c = GetParam();
  const auto m = labelled::make(c.noise, c.snr_db, c.speech_dbov);
  auto enc = std::make_unique<g729a::EncoderState>();
  auto dec = std::make_unique<g729a::DecoderState>();
  g729a::encoder_init(*enc, {.dtx = true});
  g729a::decoder_init(*dec);
  // The comfort noise stands for the noise in the band the codec keeps.
  std::vector<double> band = m.noise;
  g729a::BiquadMemory hp{};
  g729a::encoder_preprocess(hp, band);
  int strong = 0, strong_sent = 0, pause = 0, pause_silent = 0;
  double bits = 0.0, noise = 1e-12, comfort = 1e-12;
  for (std::size_t f = 0; f < m.labels.size(); ++f) {
    std::array<std::uint8_t, 10> frame{};
    const std::size_t n = g729a::encoder_encode(
        *enc, std::span<const std::int16_t, 80>(m.pcm.data() + 80 * f, 80), frame);
    std::array<std::int16_t, 80> out;
    if (n == 0) {
      g729a::decoder_decode_untransmitted(*dec, out);
    } else {
      ASSERT_TRUE(g729a::decoder_decode(*dec, std::span<const std::uint8_t>(frame.data(), n), out));
    }
    bits += 8.0 * static_cast<double>(n);
    if (m.labels[f] == Label::Strong) {
      ++strong;
      strong_sent += n == 10;
    }
    // Far pauses, leaving out the detector's initialization period at the
    // start of the lead-in.
    if (m.labels[f] != Label::Pause || static_cast<int>(f) < m.lead_in_frames - 50) continue;
    ++pause;
    pause_silent += n != 10;
    for (int i = 0; i < 80 && n != 10; ++i) {
      noise += band[80 * f + i] * band[80 * f + i];
      comfort += static_cast<double>(out[i]) * out[i];
    }
  }
  const double kbps = bits / static_cast<double>(m.labels.size()) / 10.0;
  const double level_db = 10.0 * std::log10(comfort / noise);
  std::printf(
      "[ VAD      ] %-11s strong speech sent %6.2f%%, far pauses silent %6.2f%%, %.2f kbit/s, "
      "comfort noise %+5.2f dB\n",
      c.name, 100.0 * strong_sent / strong, 100.0 * pause_silent / pause, kbps, level_db);
  EXPECT_GE(strong_sent, c.strong_floor * strong);
  EXPECT_GE(pause_silent, c.pause_floor * pause);
  // Comfort noise at the level of the stationary noises it stands for.
  if (c.noise != Noise::None && c.noise != Noise::Babble && c.snr_db >= 15.0) {
    EXPECT_NEAR(level_db, 0.0, 3.0);
  }
  if (c.noise == Noise::None) {
    EXPECT_LE(kbps, 6.0);
  }
}

INSTANTIATE_TEST_SUITE_P(Vad, LabelledMaterial, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
