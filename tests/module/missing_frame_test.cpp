// The module's entry points for frames that never arrived: exported under
// the declared names and types, bound by the output buffer's room as framein
// is, and putting the decoder's erased and untransmitted frames in the output
// in stream order with received ones.
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "codec_g729a.h"
#include "g729a/codec.h"
#include "module/module_helpers.h"
#include "support/test_support.h"

namespace {

using MissingFrameFn = int (*)(TranslatorInstance*);
static_assert(std::is_same_v<decltype(&g729tolin_erased), MissingFrameFn>);
static_assert(std::is_same_v<decltype(&g729tolin_untransmitted), MissingFrameFn>);

struct EntryPoint {
  const char* name;
};

class MissingFrame : public ::testing::TestWithParam<EntryPoint> {
 protected:
  MissingFrame() : channel_(testsupport::decoder_translator()) {
    fn_ = reinterpret_cast<MissingFrameFn>(testsupport::module().symbol(GetParam().name));
  }
  TranslatorInstance* pvt() { return channel_.instance(); }

  moduletest::QuietLog quiet_;
  standin::Channel channel_;
  MissingFrameFn fn_ = nullptr;
};

TEST_P(MissingFrame, AppendsOneFrameWhileThereIsRoom) {
  ASSERT_NE(fn_, nullptr) << GetParam().name << " is not exported";
  EXPECT_EQ(fn_(pvt()), 0);
  EXPECT_EQ(pvt()->sample_count, 80);
  EXPECT_EQ(pvt()->byte_count, 160);
  // The last frame that fits ends the buffer exactly.
  pvt()->sample_count = 7920;
  pvt()->byte_count = 15840;
  EXPECT_EQ(fn_(pvt()), 0);
  EXPECT_EQ(pvt()->sample_count, 8000);
  EXPECT_EQ(pvt()->byte_count, 16000);
  EXPECT_TRUE(standin::take_log().empty());
}

TEST_P(MissingFrame, RefusesAFullBufferWithOneLogLine) {
  ASSERT_NE(fn_, nullptr);
  pvt()->sample_count = 7921;
  pvt()->byte_count = 15842;
  EXPECT_EQ(fn_(pvt()), -1);
  EXPECT_EQ(pvt()->sample_count, 7921);
  EXPECT_EQ(pvt()->byte_count, 15842);
  const auto log = standin::take_log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].level, 3);
  EXPECT_EQ(log[0].function, GetParam().name);
  EXPECT_EQ(log[0].message, "Out of buffer space\n");
}

INSTANTIATE_TEST_SUITE_P(Module, MissingFrame,
                         ::testing::Values(EntryPoint{"g729tolin_erased"},
                                           EntryPoint{"g729tolin_untransmitted"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MissingFrames, OutputIsTheDecodersAndSurvivesARefusal) {
  moduletest::QuietLog quiet;
  MissingFrameFn entry[2];
  for (int k = 0; k < 2; ++k) {
    entry[k] = reinterpret_cast<MissingFrameFn>(
        testsupport::module().symbol(k ? "g729tolin_untransmitted" : "g729tolin_erased"));
    ASSERT_NE(entry[k], nullptr);
  }
  standin::Channel channel(testsupport::decoder_translator());
  TranslatorInstance* pvt = channel.instance();
  auto direct = std::make_unique<g729a::DecoderState>();
  g729a::decoder_init(*direct);
  std::vector<std::int16_t> expected;
  std::int16_t out[80];

  const auto* speech =
      static_cast<const std::uint8_t*>(testsupport::decoder_translator()->sample()->payload);
  const std::uint8_t sid[2] = {0x5A, 0x3C};
  // 'S' speech, 'D' SID, 'E' erased, 'U' untransmitted: a gap after speech,
  // then a silence period with lost updates, until the buffer is full.
  std::string script = "SSEUSD";
  while (script.size() < 100) script += script.size() % 9 ? 'U' : 'E';
  script += "UE";  // refused
  for (char c : script) {
    const bool full = pvt->sample_count == 8000;
    if (c == 'S' || c == 'D') {
      const std::size_t length = c == 'S' ? 10 : 2;
      ASSERT_EQ(channel.framein_payload({c == 'S' ? speech : sid, length}), 0);
      ASSERT_TRUE(g729a::decoder_decode(*direct, {c == 'S' ? speech : sid, length}, out));
    } else {
      ASSERT_EQ(entry[c == 'U'](pvt), full ? -1 : 0);
      if (full) continue;
      c == 'U' ? g729a::decoder_decode_untransmitted(*direct, out)
               : g729a::decoder_decode_erased(*direct, out);
    }
    expected.insert(expected.end(), out, out + 80);
  }
  ASSERT_EQ(pvt->sample_count, 8000);
  EXPECT_EQ(std::memcmp(pvt->output_buffer, expected.data(), 16000), 0);

  // After collection the stream goes on as the direct decoder's.
  ASSERT_NE(channel.frameout(), nullptr);
  ASSERT_EQ(entry[1](pvt), 0);
  g729a::decoder_decode_untransmitted(*direct, out);
  EXPECT_EQ(std::memcmp(pvt->output_buffer, out, sizeof out), 0);
}

// Through the module too, an erased frame after a SID frame (and after the
// noise it continued) counts as untransmitted: two channels fed the same
// frames, one losing them and one told they were not sent, stay identical
// until the next speech frame and after it; after that speech an erased frame
// is concealed as the decoder conceals it.
TEST(MissingFrames, ErasedFramesInSilenceAreUntransmittedOnes) {
  moduletest::QuietLog quiet;
  const auto erased =
      reinterpret_cast<MissingFrameFn>(testsupport::module().symbol("g729tolin_erased"));
  const auto untransmitted =
      reinterpret_cast<MissingFrameFn>(testsupport::module().symbol("g729tolin_untransmitted"));
  ASSERT_NE(erased, nullptr);
  ASSERT_NE(untransmitted, nullptr);
  standin::Channel lost(testsupport::decoder_translator());
  standin::Channel not_sent(testsupport::decoder_translator());
  const auto* speech =
      static_cast<const std::uint8_t*>(testsupport::decoder_translator()->sample()->payload);
  const std::uint8_t sid[2] = {0x5A, 0x3C};
  for (standin::Channel* c : {&lost, &not_sent}) {
    ASSERT_EQ(c->framein_payload({speech, 10}), 0);
    ASSERT_EQ(c->framein_payload({sid, 2}), 0);
  }
  for (int frame = 0; frame < 3; ++frame) {
    ASSERT_EQ(erased(lost.instance()), 0);
    ASSERT_EQ(untransmitted(not_sent.instance()), 0);
  }
  for (standin::Channel* c : {&lost, &not_sent}) ASSERT_EQ(c->framein_payload({speech, 10}), 0);
  ASSERT_EQ(lost.instance()->sample_count, 6 * 80);
  ASSERT_EQ(not_sent.instance()->sample_count, 6 * 80);
  EXPECT_EQ(std::memcmp(lost.instance()->output_buffer, not_sent.instance()->output_buffer,
                        6 * 80 * sizeof(std::int16_t)),
            0);

  // After speech: concealed, as the decoder conceals it.
  auto direct = std::make_unique<g729a::DecoderState>();
  g729a::decoder_init(*direct);
  std::int16_t out[80];
  ASSERT_TRUE(g729a::decoder_decode(*direct, {speech, 10}, out));
  ASSERT_TRUE(g729a::decoder_decode(*direct, {sid, 2}, out));
  for (int frame = 0; frame < 3; ++frame) g729a::decoder_decode_untransmitted(*direct, out);
  ASSERT_TRUE(g729a::decoder_decode(*direct, {speech, 10}, out));
  g729a::decoder_decode_erased(*direct, out);
  ASSERT_EQ(erased(lost.instance()), 0);
  const auto* lost_out = static_cast<const std::int16_t*>(lost.instance()->output_buffer) + 6 * 80;
  EXPECT_EQ(std::memcmp(lost_out, out, sizeof out), 0);
}

}  // namespace
