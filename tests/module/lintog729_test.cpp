// The encoder translator: buffering, framing, limits and refused input.
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "g729a/codec.h"
#include "module/module_helpers.h"
#include "support/test_support.h"
#include "translators/translators.h"

namespace {

std::vector<std::int16_t> speech(std::size_t n, std::size_t start = 8000) {
  const auto pcm =
      testsupport::read_pcm(std::string(G729A_SOURCE_DIR) + "/data/speech/librivox_austen_8k.raw");
  return {pcm.begin() + start, pcm.begin() + start + n};
}

class Lintog729 : public ::testing::Test {
 protected:
  Lintog729() : channel_(testsupport::encoder_translator()) {}

  g729a::EncoderChannel& block() {
    return *static_cast<g729a::EncoderChannel*>(channel_.instance()->codec_state);
  }
  g729a::EncoderState& state() { return block().codec; }
  std::array<std::int16_t, g729a::kBufferSamples>& input() { return block().input; }
  int count() { return channel_.instance()->sample_count; }

  // The whole state block, to prove a call changed nothing.
  std::vector<std::uint8_t> snapshot() {
    const auto* p = static_cast<const std::uint8_t*>(channel_.instance()->codec_state);
    return {p, p + channel_.translator()->state_size};
  }

  // Refused: -1, one level-3 line from lintog729_framein, nothing changed.
  standin::LogRecord expect_refused(HostFrame* frame) {
    const auto before = snapshot();
    const int count_before = count();
    standin::take_log();
    EXPECT_EQ(channel_.translator()->framein(channel_.instance(), frame), -1);
    EXPECT_EQ(count(), count_before);
    EXPECT_TRUE(snapshot() == before) << "state changed";
    const auto log = standin::take_log();
    EXPECT_EQ(log.size(), 1u);
    if (log.empty()) return {};
    EXPECT_EQ(log[0].level, 3);
    EXPECT_EQ(log[0].file, "codec_g729a.c");
    EXPECT_EQ(log[0].function, "lintog729_framein");
    EXPECT_GT(log[0].line, 0);
    EXPECT_FALSE(log[0].message.empty());
    if (!log[0].message.empty()) {
      EXPECT_EQ(log[0].message.back(), '\n');
    }
    return log[0];
  }

  void expect_refused_with_message(std::span<const std::int16_t> pcm, const char* message) {
    HostFrame frame{};
    frame.frame_type = 2;
    frame.format = SLINEAR;
    frame.data_length = static_cast<int>(pcm.size_bytes());
    frame.samples = static_cast<int>(pcm.size());
    frame.payload = const_cast<std::int16_t*>(pcm.data());
    EXPECT_EQ(expect_refused(&frame).message, message);
  }

  moduletest::QuietLog quiet_;
  standin::Channel channel_;
};

TEST_F(Lintog729, NewInstanceStartsEmptyWithClearFilter) {
  EXPECT_EQ(channel_.constructor_result(), 0);
  EXPECT_EQ(count(), 0);
  EXPECT_EQ(state().preprocess_memory[0], 0.0);
  EXPECT_EQ(state().preprocess_memory[1], 0.0);
  EXPECT_EQ(state().preprocess_memory[2], 0.0);
  EXPECT_EQ(state().preprocess_memory[3], 0.0);
  EXPECT_EQ(channel_.frameout(), nullptr);
}

TEST_F(Lintog729, ConstructorResetsFilterAndCodecOnAnUsedBlock) {
  state().preprocess_memory.fill(123.0);
  state().lsp_previous.fill(9.0);
  EXPECT_EQ(channel_.translator()->constructor(channel_.instance()), 0);
  auto fresh = std::make_unique<g729a::EncoderState>();
  g729a::encoder_init(*fresh);
  EXPECT_EQ(state().preprocess_memory[0], 0.0);
  EXPECT_EQ(state().preprocess_memory[1], 0.0);
  EXPECT_EQ(state().preprocess_memory[2], 0.0);
  EXPECT_EQ(state().preprocess_memory[3], 0.0);
  EXPECT_EQ(state().lsp_previous, fresh->lsp_previous);
}

TEST_F(Lintog729, SeventyNineSamplesMakeNoFrameAndChangeNothing) {
  const auto pcm = speech(79);
  ASSERT_EQ(channel_.framein_pcm(pcm), 0);
  EXPECT_EQ(count(), 79);
  EXPECT_EQ(std::memcmp(input().data(), pcm.data(), 79 * 2), 0);
  const auto before = snapshot();
  EXPECT_EQ(channel_.frameout(), nullptr);
  EXPECT_EQ(count(), 79);
  EXPECT_TRUE(snapshot() == before);
  // One more sample completes the frame.
  const std::int16_t one = 5;
  ASSERT_EQ(channel_.framein_pcm({&one, 1}), 0);
  HostFrame* f = channel_.frameout();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->data_length, 10);
  EXPECT_EQ(f->samples, 80);
  EXPECT_EQ(count(), 0);
}

TEST_F(Lintog729, TwoHundredFiftySamplesGiveThreeFramesAndKeepTen) {
  const auto pcm = speech(250);
  ASSERT_EQ(channel_.framein_pcm(pcm), 0);
  HostFrame* f = channel_.frameout();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->frame_type, 2);
  EXPECT_EQ(f->format, 256);
  EXPECT_EQ(f->data_length, 30);
  EXPECT_EQ(f->samples, 240);
  EXPECT_EQ(f->payload, channel_.instance()->output_buffer);
  EXPECT_EQ(count(), 10);
  EXPECT_EQ(std::memcmp(input().data(), pcm.data() + 240, 10 * 2), 0);
  EXPECT_EQ(channel_.frameout(), nullptr);
  // The filter ran over exactly the 240 coded samples.
  EXPECT_EQ(state().preprocess_memory[0], pcm[239]);
  EXPECT_EQ(state().preprocess_memory[1], pcm[238]);

  // 71 more make 81: one frame out, the single leftover moves to the front.
  const auto more = speech(71, 9000);
  ASSERT_EQ(channel_.framein_pcm(more), 0);
  f = channel_.frameout();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->data_length, 10);
  EXPECT_EQ(count(), 1);
  EXPECT_EQ(input()[0], more[70]);
}

TEST_F(Lintog729, BufferHoldsExactlyEightThousandSamples) {
  const auto pcm = speech(8001);
  ASSERT_EQ(channel_.framein_pcm({pcm.data(), 7999}), 0);
  // A frame that would overflow is dropped whole, not cut.
  expect_refused_with_message({pcm.data() + 7999, 2}, "Out of buffer space\n");
  EXPECT_EQ(count(), 7999);
  ASSERT_EQ(channel_.framein_pcm({pcm.data() + 7999, 1}), 0);
  EXPECT_EQ(count(), 8000);
  expect_refused_with_message({pcm.data() + 8000, 1}, "Out of buffer space\n");
  EXPECT_EQ(count(), 8000);
  EXPECT_EQ(std::memcmp(input().data(), pcm.data(), 8000 * 2), 0);

  HostFrame* f = channel_.frameout();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->data_length, 1000);
  EXPECT_EQ(f->samples, 8000);
  EXPECT_EQ(count(), 0);
}

TEST_F(Lintog729, BufferedSamplesCountAgainstTheLimitAcrossCalls) {
  const std::vector<std::int16_t> pcm(8000, 100);
  ASSERT_EQ(channel_.framein_pcm({pcm.data(), 79}), 0);
  expect_refused_with_message({pcm.data(), 7922}, "Out of buffer space\n");
  EXPECT_EQ(channel_.framein_pcm({pcm.data(), 7921}), 0);
  EXPECT_EQ(count(), 8000);
}

TEST_F(Lintog729, SplitInputGivesIdenticalBytes) {
  const auto pcm = speech(2000);
  std::vector<std::uint8_t> whole;
  ASSERT_EQ(channel_.feed_pcm(pcm, whole), 0);

  standin::Channel other(testsupport::encoder_translator());
  std::vector<std::uint8_t> split;
  std::size_t pos = 0;
  for (const std::size_t n : {1, 79, 81, 0, 160, 7, 333, 80, 419}) {
    ASSERT_EQ(other.feed_pcm({pcm.data() + pos, n}, split), 0);
    pos += n;
  }
  ASSERT_EQ(other.feed_pcm({pcm.data() + pos, pcm.size() - pos}, split), 0);
  EXPECT_EQ(whole.size(), 250u);
  EXPECT_EQ(split, whole);
}

TEST_F(Lintog729, OutputIsTheFilteredEncodedPackedFrames) {
  const auto pcm = speech(800);
  std::vector<std::uint8_t> out;
  ASSERT_EQ(channel_.feed_pcm(pcm, out), 0);

  // The same steps taken by hand on a separate state.
  auto s = std::make_unique<g729a::EncoderState>();
  g729a::encoder_init(*s);
  std::vector<std::uint8_t> expected(out.size());
  for (std::size_t frame = 0; frame < 10; ++frame) {
    g729a::encoder_encode(*s, std::span<const std::int16_t, 80>(&pcm[80 * frame], 80),
                          std::span<std::uint8_t, 10>(&expected[10 * frame], 10));
  }
  EXPECT_EQ(out, expected);
  EXPECT_EQ(state().preprocess_memory, s->preprocess_memory);
}

TEST_F(Lintog729, FramesThatOverstateTheirSamplesAreRefused) {
  std::int16_t data[5] = {1, 2, 3, 4, 5};
  HostFrame frame{};
  frame.frame_type = 2;
  frame.format = SLINEAR;
  frame.payload = data;

  frame.data_length = 9;  // room for four samples and a stray byte
  frame.samples = 5;
  expect_refused(&frame);
  frame.samples = -1;
  expect_refused(&frame);
  frame.samples = -2147483647 - 1;
  expect_refused(&frame);
  frame.data_length = -10;
  frame.samples = 1;
  expect_refused(&frame);

  frame.data_length = 9;
  frame.samples = 4;
  EXPECT_EQ(channel_.framein(frame), 0);
  EXPECT_EQ(count(), 4);
  EXPECT_EQ(std::memcmp(input().data(), data, 8), 0);
}

TEST_F(Lintog729, MissingPayloadOrFrameIsRefused) {
  HostFrame frame{};
  frame.frame_type = 2;
  frame.format = SLINEAR;
  frame.data_length = 160;
  frame.samples = 80;
  frame.payload = nullptr;
  expect_refused(&frame);
  frame.samples = 1;  // the smallest amount that would be read
  expect_refused(&frame);
  expect_refused(nullptr);

  // An empty frame is harmless, payload or not.
  frame.samples = 0;
  frame.data_length = 0;
  EXPECT_EQ(channel_.framein(frame), 0);
  EXPECT_EQ(count(), 0);
  EXPECT_TRUE(standin::take_log().empty());
}

}  // namespace

namespace {

// The block the host allocated and the output buffer, to prove a refused
// call touched neither.
std::vector<std::uint8_t> instance_bytes(standin::Channel& channel) {
  const TranslatorInstance* pvt = channel.instance();
  const auto* state = static_cast<const std::uint8_t*>(pvt->codec_state);
  const auto* out = static_cast<const std::uint8_t*>(pvt->output_buffer);
  std::vector<std::uint8_t> bytes(state, state + channel.translator()->state_size);
  bytes.insert(bytes.end(), out, out + channel.translator()->buffer_size);
  return bytes;
}

void expect_bad_count_logged(const char* function, int count) {
  const auto log = standin::take_log();
  ASSERT_EQ(log.size(), 1u) << count;
  EXPECT_EQ(log[0].level, 3);
  EXPECT_EQ(log[0].file, "codec_g729a.c");
  EXPECT_EQ(log[0].function, function);
  EXPECT_EQ(log[0].message,
            "Invalid sample count (" + std::to_string(count) + ", buffer holds 8000)\n");
}

constexpr int kCorruptCounts[] = {-1, -80, -2147483647 - 1, 8001, 8080, 2147483647};

// A host that corrupted sample_count gets a refusal, never a read or write
// outside the instance's buffers.
TEST(Lintog729Counts, CountOutsideTheBufferIsRefusedByFrameinAndFrameout) {
  moduletest::QuietLog quiet;
  standin::Channel channel(testsupport::encoder_translator());
  TranslatorInstance* pvt = channel.instance();
  const auto pcm = speech(160);
  HostFrame frame{};
  frame.frame_type = 2;
  frame.format = SLINEAR;
  frame.data_length = 320;
  frame.samples = 160;
  frame.payload = const_cast<std::int16_t*>(pcm.data());
  const auto before = instance_bytes(channel);
  for (int count : kCorruptCounts) {
    pvt->sample_count = count;
    EXPECT_EQ(channel.translator()->framein(pvt, &frame), -1);
    expect_bad_count_logged("lintog729_framein", count);
    EXPECT_EQ(channel.translator()->frameout(pvt), nullptr);
    expect_bad_count_logged("lintog729_frameout", count);
    EXPECT_EQ(pvt->sample_count, count);
    EXPECT_TRUE(instance_bytes(channel) == before) << count;
  }
}

TEST(Lintog729Counts, CountsAtTheBufferEdgesWorkAsBefore) {
  moduletest::QuietLog quiet;
  standin::Channel channel(testsupport::encoder_translator());
  TranslatorInstance* pvt = channel.instance();
  // Empty: frameout quietly has nothing to give.
  EXPECT_EQ(channel.frameout(), nullptr);
  // Full: an empty frame is taken, one sample more is out of space, and
  // frameout encodes all 100 frames.
  pvt->sample_count = 8000;
  HostFrame empty{};
  EXPECT_EQ(channel.framein(empty), 0);
  const std::int16_t one = 7;
  EXPECT_EQ(channel.framein_pcm({&one, 1}), -1);
  const auto log = standin::take_log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].message, "Out of buffer space\n");
  HostFrame* out = channel.frameout();
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->data_length, 1000);
  EXPECT_EQ(out->samples, 8000);
  EXPECT_EQ(pvt->sample_count, 0);
  EXPECT_TRUE(standin::take_log().empty());
}

}  // namespace
