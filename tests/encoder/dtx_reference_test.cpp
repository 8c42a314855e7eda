// The DTX encoder's decisions on the published input sequences tstseq1-4,
// against the reference bitstreams: how often the speech/non-speech choice
// agrees, and the bit rates side by side.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "g729a/codec.h"
#include "itu_serial.h"
#include "support/test_support.h"

namespace {

int frame_bits(std::size_t bytes) {
  return bytes == 10 ? 80 : bytes == 2 ? 16 : 0;
}

TEST(DtxReference, DecisionsAndBitRatesMatchTheReferenceBitstreams) {
  int frames = 0, agree = 0;
  for (const char* name : {"tstseq1", "tstseq2", "tstseq3", "tstseq4"}) {
    const std::string dir = testsupport::shared_dir() + "/testvectors/g729b/" + name;
    const auto pcm = testsupport::read_pcm(dir + ".bin");
    std::vector<g729io::SerialFrame> reference;
    std::string error;
    ASSERT_TRUE(g729io::parse_serial(testsupport::read_file(dir + "a.bit"), reference, error))
        << error;
    auto state = std::make_unique<g729a::EncoderState>();
    g729a::encoder_init(*state, {.dtx = true});
    int count = 0, same = 0, ours = 0, theirs = 0;
    for (; 80 * (count + 1) <= static_cast<int>(pcm.size()) &&
           count < static_cast<int>(reference.size());
         ++count) {
      std::array<std::uint8_t, 10> frame{};
      const std::size_t n = g729a::encoder_encode(
          *state, std::span<const std::int16_t, 80>(pcm.data() + 80 * count, 80), frame);
      const auto& ref = reference[count];
      same += (n == 10) == (ref.kind == g729io::SerialFrameKind::Speech);
      ours += frame_bits(n);
      theirs += frame_bits(ref.bytes.size());
    }
    ASSERT_GT(count, 0) << name;
    std::printf(
        "[ DTX      ] %s: %d frames, decisions agree %5.1f%%, %.2f kbit/s (reference %.2f)\n", name,
        count, 100.0 * same / count, ours / (count * 10.0), theirs / (count * 10.0));
    EXPECT_NEAR(ours, theirs, 0.2 * theirs) << name;
    frames += count;
    agree += same;
  }
  std::printf("[ DTX      ] all: %d frames, decisions agree %5.1f%%\n", frames,
              100.0 * agree / frames);
  EXPECT_EQ(frames, 2927);
  EXPECT_GE(agree, 0.93 * frames);
}

}  // namespace
