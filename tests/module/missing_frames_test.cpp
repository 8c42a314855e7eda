// What the module's entry points for missing frames put in the output: the
// decoder's erased and untransmitted frames, in stream order with received
// ones, and nothing changed by a refusal. (Exports, counts and the refusal
// itself: missing_frame_test.cpp.)
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "g729a/codec.h"
#include "module/module_helpers.h"
#include "support/test_support.h"

namespace {

using EntryPoint = int (*)(TranslatorInstance*);

TEST(MissingFrames, OutputIsTheDecodersAndSurvivesARefusal) {
  moduletest::QuietLog quiet;
  EntryPoint entry[2];
  for (int k = 0; k < 2; ++k) {
    entry[k] = reinterpret_cast<EntryPoint>(
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

}  // namespace
