// How DecodeStream fills missing frames: which entry point, what is counted,
// and zeros when the module lacks the entry points or --gaps silence.
#include <gtest/gtest.h>

#include "codec_host.h"
#include "support/test_support.h"
#include "tool/tool_harness.h"

namespace tooltest {
namespace {

using g729tool::Missing;

// Stand-ins for the module's entry points that say which one ran: each
// frame is 80 samples of its own value.
int fake_erased(TranslatorInstance* pvt) {
  auto* out = static_cast<std::int16_t*>(pvt->output_buffer) + pvt->sample_count;
  std::fill(out, out + 80, std::int16_t{1});
  pvt->sample_count += 80;
  pvt->byte_count += 160;
  return 0;
}
int fake_untransmitted(TranslatorInstance* pvt) {
  auto* out = static_cast<std::int16_t*>(pvt->output_buffer) + pvt->sample_count;
  std::fill(out, out + 80, std::int16_t{2});
  pvt->sample_count += 80;
  pvt->byte_count += 160;
  return 0;
}
int refusing(TranslatorInstance*) {
  return -1;
}

g729tool::CodecModule codec_with(g729tool::MissingFrameFn erased,
                                 g729tool::MissingFrameFn untransmitted) {
  g729tool::CodecModule codec;
  codec.decoder = testsupport::decoder_translator();
  codec.erased = erased;
  codec.untransmitted = untransmitted;
  return codec;
}

std::vector<std::int16_t> run_of(std::int16_t value, std::size_t n) {
  return std::vector<std::int16_t>(n, value);
}

TEST(DecodeStreamGaps, PausesAfterSidAreComfortNoiseElseConcealed) {
  const auto codec = codec_with(fake_erased, fake_untransmitted);
  g729tool::DecodeStream stream(codec);
  const std::vector<std::uint8_t> sid{0x5A, 0xC3};
  const auto* sample =
      static_cast<const std::uint8_t*>(testsupport::decoder_translator()->sample()->payload);
  const std::vector<std::uint8_t> speech(sample, sample + 10);
  std::string error;
  // Before anything arrived there is no SID: a pause is concealed.
  stream.fill_missing(80, Missing::NotSent);
  ASSERT_TRUE(stream.decode_payload(sid, error)) << error;
  stream.fill_missing(200, Missing::NotSent);  // two frames and 40 samples
  // Inside the silence a lost frame counts as untransmitted: the noise goes on.
  stream.fill_missing(80, Missing::Lost);
  ASSERT_TRUE(stream.decode_payload(speech, error)) << error;
  // After speech a lost frame is concealed, and so is the pause after it.
  stream.fill_missing(80, Missing::Lost);
  stream.fill_missing(80, Missing::NotSent);
  const auto& out = stream.output();
  ASSERT_EQ(out.size(), 80u + 80 + 200 + 80 + 80 + 80 + 80);
  EXPECT_EQ(std::vector<std::int16_t>(out.begin(), out.begin() + 80), run_of(1, 80));
  EXPECT_EQ(std::vector<std::int16_t>(out.begin() + 160, out.begin() + 320), run_of(2, 160));
  EXPECT_EQ(std::vector<std::int16_t>(out.begin() + 320, out.begin() + 360), run_of(0, 40));
  EXPECT_EQ(std::vector<std::int16_t>(out.begin() + 360, out.begin() + 440), run_of(2, 80));
  EXPECT_EQ(std::vector<std::int16_t>(out.begin() + 520, out.end()), run_of(1, 160));
  const auto& c = stream.counts();
  EXPECT_EQ(c.silent, 1 + 3 + 1);
  EXPECT_EQ(c.erased, 2);
  EXPECT_EQ(c.concealed, 3);
  EXPECT_EQ(c.comfort_noise, 3);
  EXPECT_EQ(stream.comfort_noise_starts(), (std::vector<long>{160, 240, 360}));
}

TEST(DecodeStreamGaps, ZerosWithoutEntryPointsOrWhenTheyRefuseOrWhenAsked) {
  for (int variant = 0; variant < 3; ++variant) {
    const auto codec = variant == 0   ? codec_with(nullptr, nullptr)
                       : variant == 1 ? codec_with(refusing, refusing)
                                      : codec_with(fake_erased, fake_untransmitted);
    g729tool::DecodeStream stream(codec, variant != 2);
    stream.fill_missing(160, Missing::Lost);
    stream.fill_missing(80, Missing::NotSent);
    EXPECT_EQ(stream.output(), run_of(0, 240)) << variant;
    EXPECT_EQ(stream.counts().erased, 2);
    EXPECT_EQ(stream.counts().silent, 1);
    EXPECT_EQ(stream.counts().concealed + stream.counts().comfort_noise, 0) << variant;
  }
}

}  // namespace
}  // namespace tooltest
