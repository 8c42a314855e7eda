// Our encoder against our decoder: both sides must keep the same predictor
// memories and excitation history after every frame, and the round trip
// must come as close to the input as the published reference chain does.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "conformance_support.h"
#include "g729a/codec.h"
#include "standin.h"
#include "support/test_support.h"

namespace {

class RoundTripTest : public ::testing::TestWithParam<std::string> {};

TEST_P(RoundTripTest, EncoderAndDecoderStayInStep) {
  REQUIRE_CONFORMANCE_DATA();
  const auto pcm = testsupport::read_pcm(encconf::input_path(GetParam()));
  auto decoder = std::make_unique<g729a::DecoderState>();
  g729a::decoder_init(*decoder);
  int failures = 0;
  encconf::encode_direct(pcm, [&](int f, const g729a::FrameParameters& params,
                                  const g729a::FrameTrace&, const g729a::EncoderState& encoder) {
    if (failures > 0) return;
    std::array<std::uint8_t, 10> packed;
    g729a::pack_speech_frame(params, packed);
    std::array<std::int16_t, 80> out;
    ASSERT_TRUE(g729a::decoder_decode(*decoder, packed, out));
    const bool lsf_same = encoder.lsf_ma_memory == decoder->lsf_ma_memory;
    const bool gain_same = encoder.gain_predictor_memory == decoder->gain_predictor_memory;
    bool exc_same = true;
    for (int i = 0; i < 154; ++i) {
      exc_same = exc_same && encoder.excitation_buffer[i] == decoder->excitation_buffer[i];
    }
    const bool sharpening_same = encoder.pitch_sharpening == decoder->pitch_sharpening;
    if (!(lsf_same && gain_same && exc_same && sharpening_same)) {
      ++failures;
      ADD_FAILURE() << GetParam() << " frame " << f << ": LSF memory " << lsf_same
                    << ", gain memory " << gain_same << ", excitation " << exc_same
                    << ", pitch sharpening " << sharpening_same;
    }
  });
}

TEST_P(RoundTripTest, QualityAgreesWithTheReferenceChain) {
  REQUIRE_CONFORMANCE_DATA();
  const std::string name = GetParam();
  const auto input = testsupport::read_pcm(encconf::input_path(name));
  const auto reference =
      testsupport::read_pcm(testsupport::shared_dir() + "/testvectors/g729a/" + name + ".PST");
  ASSERT_FALSE(reference.empty());

  testsupport::module();  // registers the translators the chain looks up
  standin::Chain chain;
  std::vector<std::int16_t> ours;
  for (std::size_t at = 0; at < input.size(); at += 160) {
    const std::size_t n = std::min<std::size_t>(160, input.size() - at);
    ASSERT_EQ(chain.feed(std::span<const std::int16_t>(input.data() + at, n), ours), 0);
  }
  ASSERT_EQ(ours.size(), input.size() / 80 * 80);

  const double ours_db = testsupport::segmental_snr_db(input, ours, 40);
  const double reference_db = testsupport::segmental_snr_db(input, reference, 40);
  std::printf("%-7s round trip %6.2f dB segmental SNR, reference chain %6.2f dB\n", name.c_str(),
              ours_db, reference_db);
  EXPECT_NEAR(ours_db, reference_db, 0.5) << name;
}

INSTANTIATE_TEST_SUITE_P(Sequences, RoundTripTest, ::testing::ValuesIn(encconf::kGoldenNames),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

}  // namespace
