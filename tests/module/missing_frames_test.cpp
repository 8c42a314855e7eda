// The module's two exported entry points for frames that never arrived,
// found with dlsym as a host that knows about missing frames finds them.
#include <dlfcn.h>

#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "codec/decoder/decoder.h"
#include "codec_g729a.h"
#include "module/module_helpers.h"
#include "support/test_support.h"

namespace {

using EntryPoint = int (*)(TranslatorInstance*);
// A host casts dlsym's result to the header's signatures.
static_assert(std::is_same_v<decltype(&g729tolin_erased), EntryPoint>);
static_assert(std::is_same_v<decltype(&g729tolin_untransmitted), EntryPoint>);

// The loaded module's symbol, or null.
EntryPoint lookup(const char* name) {
  testsupport::module();
  void* handle = dlopen(standin::default_module_path().c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return nullptr;
  void* symbol = dlsym(handle, name);
  dlclose(handle);
  return reinterpret_cast<EntryPoint>(symbol);
}

std::vector<std::uint8_t> speech_frames(int n) {
  const HostFrame* sample = testsupport::decoder_translator()->sample();
  const auto* bytes = static_cast<const std::uint8_t*>(sample->payload);
  std::vector<std::uint8_t> out(10 * static_cast<std::size_t>(n));
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = bytes[i % 50];
  return out;
}

const std::vector<std::uint8_t> kSid = {0x5A, 0x3C};

enum class Step { Erased, Untransmitted };

class MissingFrames : public ::testing::Test {
 protected:
  MissingFrames() : channel_(testsupport::decoder_translator()) {
    erased_ = lookup("g729tolin_erased");
    untransmitted_ = lookup("g729tolin_untransmitted");
    direct_ = std::make_unique<g729a::DecoderState>();
    g729a::decoder_state_init(*direct_);
  }

  TranslatorInstance* pvt() { return channel_.instance(); }
  const std::int16_t* output() { return static_cast<const std::int16_t*>(pvt()->output_buffer); }

  // The payload through the translator, and the same frames decoded directly.
  void receive(const std::vector<std::uint8_t>& payload) {
    ASSERT_EQ(channel_.framein_payload(payload), 0);
    std::size_t offset = 0;
    while (offset < payload.size()) {
      const int length = payload.size() - offset >= 10 ? 10 : 2;
      std::int16_t out[80];
      ASSERT_EQ(g729a::decode_frame(*direct_, out, &payload[offset], length), 0);
      expected_.insert(expected_.end(), out, out + 80);
      offset += length;
    }
  }

  // One missing frame through the module, and the same one directly.
  int miss(Step step) {
    std::int16_t out[80];
    if (step == Step::Erased) {
      g729a::decode_erased_frame(*direct_, out);
    } else {
      g729a::decode_untransmitted_frame(*direct_, out);
    }
    expected_.insert(expected_.end(), out, out + 80);
    return step == Step::Erased ? erased_(pvt()) : untransmitted_(pvt());
  }

  void expect_output_as_direct() {
    ASSERT_EQ(pvt()->sample_count, static_cast<int>(expected_.size()));
    EXPECT_EQ(pvt()->byte_count, 2 * pvt()->sample_count);
    EXPECT_EQ(std::memcmp(output(), expected_.data(), 2 * expected_.size()), 0);
  }

  moduletest::QuietLog quiet_;
  standin::Channel channel_;
  EntryPoint erased_ = nullptr;
  EntryPoint untransmitted_ = nullptr;
  std::unique_ptr<g729a::DecoderState> direct_;
  std::vector<std::int16_t> expected_;
};

TEST_F(MissingFrames, BothEntryPointsAreExported) {
  EXPECT_NE(erased_, nullptr);
  EXPECT_NE(untransmitted_, nullptr);
}

TEST_F(MissingFrames, AppendToTheOutputLikeReceivedFrames) {
  ASSERT_TRUE(erased_ && untransmitted_);
  receive(speech_frames(4));
  ASSERT_EQ(miss(Step::Erased), 0);
  ASSERT_EQ(miss(Step::Untransmitted), 0);  // after speech: concealed
  receive(speech_frames(2));
  receive(kSid);
  for (int i = 0; i < 5; ++i) ASSERT_EQ(miss(Step::Untransmitted), 0);
  ASSERT_EQ(miss(Step::Erased), 0);
  receive(speech_frames(3));
  expect_output_as_direct();
  EXPECT_TRUE(standin::take_log().empty());
}

TEST_F(MissingFrames, FullBufferRefusesWithOneLogLineAndKeepsTheState) {
  ASSERT_TRUE(erased_ && untransmitted_);
  receive(speech_frames(2));
  receive(kSid);
  // Fill the buffer to 8000 samples; the last frame starts at 7920.
  while (pvt()->sample_count < 7920) ASSERT_EQ(miss(Step::Untransmitted), 0);
  ASSERT_EQ(miss(Step::Erased), 0);
  expect_output_as_direct();
  ASSERT_EQ(pvt()->sample_count, 8000);

  for (const auto& [entry, name] : {std::pair{erased_, "g729tolin_erased"},
                                    std::pair{untransmitted_, "g729tolin_untransmitted"}}) {
    standin::take_log();
    EXPECT_EQ(entry(pvt()), -1) << name;
    EXPECT_EQ(pvt()->sample_count, 8000) << name;
    EXPECT_EQ(pvt()->byte_count, 16000) << name;
    const auto log = standin::take_log();
    ASSERT_EQ(log.size(), 1u) << name;
    EXPECT_EQ(log[0].level, 3);
    EXPECT_EQ(log[0].file, "codec_g729a.c");
    EXPECT_EQ(log[0].function, name);
    EXPECT_GT(log[0].line, 0);
    EXPECT_EQ(log[0].message, "Out of buffer space\n");
  }

  // The refusals left the decoder as it was: after collection the stream
  // goes on exactly as the direct decoder's.
  ASSERT_NE(channel_.frameout(), nullptr);
  expected_.clear();
  ASSERT_EQ(miss(Step::Erased), 0);
  receive(speech_frames(1));
  expect_output_as_direct();
}

}  // namespace
