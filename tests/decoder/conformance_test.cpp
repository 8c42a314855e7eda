// The published sequences decoded frame by frame, compared with the golden
// outputs (exactly) and with the fixed-point reference outputs (SNR).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "decoder/frames.h"
#include "g729a/codec.h"
#include "itu_serial.h"
#include "support/test_support.h"

namespace {

using testsupport::shared_dir;

struct Sequence {
  std::string name, bitstream, golden, reference;
};

Sequence sequence(const std::string& name) {
  const std::string tv = shared_dir() + "/testvectors/", golden = shared_dir() + "/golden/";
  if (name == "tstseq5") {
    return {name, tv + "g729b/tstseq5.bit", golden + "tstseq5.bit.raw", tv + "g729b/tstseq5a.out"};
  }
  return {name, tv + "g729a/" + name + ".BIT", golden + name + ".BIT.raw",
          tv + "g729a/" + name + ".PST"};
}

std::vector<std::vector<std::uint8_t>> payloads(const std::string& path) {
  std::vector<g729io::SerialFrame> frames;
  std::string error;
  const auto data = testsupport::read_file(path);
  EXPECT_TRUE(g729io::parse_serial(data, frames, error)) << error;
  std::vector<std::vector<std::uint8_t>> out;
  for (const auto& f : frames) {
    EXPECT_FALSE(f.bytes.empty()) << path << ": frame without payload";
    out.push_back(f.bytes);
  }
  return out;
}

void expect_golden(const Sequence& s, const std::vector<std::int16_t>& decoded, const char* road) {
  const auto golden = testsupport::read_pcm(s.golden);
  ASSERT_EQ(decoded.size(), golden.size()) << s.name << " " << road;
  for (std::size_t i = 0; i < golden.size(); ++i) {
    ASSERT_EQ(decoded[i], golden[i]) << s.name << " " << road << ": first difference in frame "
                                     << i / 80 << ", sample " << i % 80;
  }
  const auto reference = testsupport::read_pcm(s.reference);
  std::printf("[ SNR      ] %-8s %-6s %6.2f dB, segmental %6.2f dB against the reference\n",
              s.name.c_str(), road, testsupport::snr_db(reference, decoded),
              testsupport::segmental_snr_db(reference, decoded));
}

class Conformance : public ::testing::TestWithParam<std::string> {};

TEST_P(Conformance, DecodeFrameMatchesGolden) {
  REQUIRE_CONFORMANCE_DATA();
  const Sequence s = sequence(GetParam());
  g729a::DecoderState state;
  g729a::decoder_init(state);
  std::vector<std::int16_t> decoded;
  for (const auto& p : payloads(s.bitstream)) {
    std::int16_t out[80];
    ASSERT_TRUE(g729a::decoder_decode(state, p, out));
    decoded.insert(decoded.end(), out, out + 80);
  }
  expect_golden(s, decoded, "unit");
}

TEST_P(Conformance, LoadedModuleMatchesGolden) {
  REQUIRE_CONFORMANCE_DATA();
  const Sequence s = sequence(GetParam());
  standin::Channel channel(testsupport::decoder_translator());
  ASSERT_EQ(channel.constructor_result(), 0);
  standin::take_log();
  std::vector<std::int16_t> decoded;
  for (const auto& p : payloads(s.bitstream)) ASSERT_EQ(channel.feed_payload(p, decoded), 0);
  EXPECT_TRUE(standin::take_log().empty());
  expect_golden(s, decoded, "module");
}

INSTANTIATE_TEST_SUITE_P(Sequences, Conformance,
                         ::testing::Values("ALGTHM", "FIXED", "LSP", "PITCH", "SPEECH", "TAME",
                                           "tstseq5"));

// Sequences without a golden output (PARITY carries pitch parity errors):
// the fixed-point reference only bounds them from below.
TEST(ReferenceConformance, SequencesWithoutGoldenStayClose) {
  REQUIRE_CONFORMANCE_DATA();
  for (const std::string name : {"TEST", "PARITY"}) {
    const Sequence s = sequence(name);
    standin::Channel channel(testsupport::decoder_translator());
    std::vector<std::int16_t> decoded;
    for (const auto& p : payloads(s.bitstream)) ASSERT_EQ(channel.feed_payload(p, decoded), 0);
    const double snr = testsupport::snr_db(testsupport::read_pcm(s.reference), decoded);
    std::printf("[ SNR      ] %-8s module %6.2f dB against the reference\n", name.c_str(), snr);
    EXPECT_GT(snr, 25.0) << name;
  }
}

TEST(ModuleDecoder, RunawayStreamStaysQuietTowardsTheHost) {
  standin::Channel channel(testsupport::decoder_translator());
  standin::take_log();
  const auto frame =
      dectest::speech_frame({.P1 = 100, .C1 = 99, .G1 = 5, .P2 = 17, .C2 = 5, .G2 = 5});
  std::vector<std::int16_t> decoded;
  for (int i = 0; i < 1500; ++i) ASSERT_EQ(channel.feed_payload(frame, decoded), 0);
  EXPECT_EQ(decoded.size(), 1500u * 80);
  EXPECT_TRUE(standin::take_log().empty());
}

TEST(ModuleDecoder, SampleFrameDecodesToSpeechLikeOutput) {
  const HostFrame* sample = testsupport::decoder_translator()->sample();
  standin::Channel channel(testsupport::decoder_translator());
  std::vector<std::int16_t> pcm;
  ASSERT_EQ(channel.feed_payload({static_cast<const std::uint8_t*>(sample->payload),
                                  static_cast<std::size_t>(sample->data_length)},
                                 pcm),
            0);
  ASSERT_EQ(pcm.size(), 400u);
  double energy = 0;
  for (std::int16_t v : pcm) energy += double(v) * v;
  EXPECT_GT(energy / 400, 100.0);                               // audible, not silence
  EXPECT_LT(*std::max_element(pcm.begin(), pcm.end()), 32767);  // not overloaded
}

}  // namespace
