// The module's exported entry points for frames that never arrived, found
// with dlsym as a host that knows about missing frames finds them.
#include <dlfcn.h>

#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "codec_g729a.h"
#include "g729a/codec.h"
#include "module/module_helpers.h"
#include "support/test_support.h"

namespace {

using EntryPoint = int (*)(TranslatorInstance*);
static_assert(std::is_same_v<decltype(&g729tolin_erased), EntryPoint>);
static_assert(std::is_same_v<decltype(&g729tolin_untransmitted), EntryPoint>);

EntryPoint lookup(const char* name) {
  testsupport::module();
  void* handle = dlopen(standin::default_module_path().c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return nullptr;
  void* symbol = dlsym(handle, name);
  dlclose(handle);
  return reinterpret_cast<EntryPoint>(symbol);
}

// A stream with every kind of frame through the module, the same decoded
// directly; then, with the buffer full, both refuse with one log line and
// leave the decoder as it was.
TEST(MissingFrames, AppendLikeDecodedFramesAndRefuseWhenFull) {
  moduletest::QuietLog quiet;
  const EntryPoint entry[2] = {lookup("g729tolin_erased"), lookup("g729tolin_untransmitted")};
  const char* names[2] = {"g729tolin_erased", "g729tolin_untransmitted"};
  ASSERT_TRUE(entry[0] && entry[1]);
  standin::Channel channel(testsupport::decoder_translator());
  TranslatorInstance* pvt = channel.instance();
  auto direct = std::make_unique<g729a::DecoderState>();
  g729a::decoder_init(*direct);
  std::vector<std::int16_t> expected;
  std::int16_t out[80];

  const auto* sample =
      static_cast<const std::uint8_t*>(testsupport::decoder_translator()->sample()->payload);
  const std::uint8_t sid[2] = {0x5A, 0x3C};
  // Speech, erased, gap after speech, SID, gaps and a lost update until the
  // buffer is full; 'S' speech, 'D' SID, 'E' erased, 'U' untransmitted.
  std::string script = "SSEUSD";
  while (script.size() < 100) script += script.size() % 9 ? 'U' : 'E';
  for (char c : script) {
    int result = 0;
    if (c == 'S' || c == 'D') {
      const std::uint8_t* frame = c == 'S' ? sample : sid;
      const int length = c == 'S' ? 10 : 2;
      result = channel.framein_payload({frame, static_cast<std::size_t>(length)});
      ASSERT_TRUE(g729a::decoder_decode(*direct, {frame, static_cast<std::size_t>(length)}, out));
    } else {
      result = entry[c == 'U'](pvt);
      c == 'U' ? g729a::decoder_decode_untransmitted(*direct, out)
               : g729a::decoder_decode_erased(*direct, out);
    }
    ASSERT_EQ(result, 0);
    expected.insert(expected.end(), out, out + 80);
  }
  ASSERT_EQ(pvt->sample_count, 8000);
  EXPECT_EQ(pvt->byte_count, 16000);
  EXPECT_EQ(std::memcmp(pvt->output_buffer, expected.data(), 16000), 0);
  EXPECT_TRUE(standin::take_log().empty());

  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(entry[k](pvt), -1);
    EXPECT_EQ(pvt->sample_count, 8000);
    EXPECT_EQ(pvt->byte_count, 16000);
    const auto log = standin::take_log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].level, 3);
    EXPECT_EQ(log[0].file, "codec_g729a.c");
    EXPECT_EQ(log[0].function, names[k]);
    EXPECT_EQ(log[0].message, "Out of buffer space\n");
  }
  ASSERT_NE(channel.frameout(), nullptr);
  ASSERT_EQ(entry[1](pvt), 0);
  g729a::decoder_decode_untransmitted(*direct, out);
  EXPECT_EQ(std::memcmp(pvt->output_buffer, out, sizeof out), 0);
}

}  // namespace
