// The decoder translator: payload splitting, limits and refused input.
#include <cstring>
#include <memory>
#include <vector>

#include "g729a/codec.h"
#include "module/module_helpers.h"
#include "support/test_support.h"
#include "translators/translators.h"

namespace {

// Valid speech frames: the translator's own sample payload.
std::vector<std::uint8_t> speech_frames(int n) {
  const HostFrame* sample = testsupport::decoder_translator()->sample();
  const auto* bytes = static_cast<const std::uint8_t*>(sample->payload);
  std::vector<std::uint8_t> out(10 * static_cast<std::size_t>(n));
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = bytes[i % 50];
  return out;
}

const std::vector<std::uint8_t> kSid = {0x5A, 0x3C};

// Decodes frames of the given lengths one by one with a fresh decoder.
std::vector<std::int16_t> decode_directly(const std::vector<std::uint8_t>& payload,
                                          const std::vector<int>& lengths) {
  auto state = std::make_unique<g729a::DecoderState>();
  g729a::decoder_init(*state);
  std::vector<std::int16_t> out(80 * lengths.size());
  std::size_t offset = 0;
  for (std::size_t i = 0; i < lengths.size(); ++i) {
    EXPECT_TRUE(g729a::decoder_decode(*state,
                                      std::span<const std::uint8_t>(&payload[offset], lengths[i]),
                                      std::span<std::int16_t, 80>(&out[80 * i], 80)));
    offset += lengths[i];
  }
  return out;
}

class G729tolin : public ::testing::Test {
 protected:
  G729tolin() : channel_(testsupport::decoder_translator()) {}

  TranslatorInstance* pvt() { return channel_.instance(); }
  const std::int16_t* output() { return static_cast<const std::int16_t*>(pvt()->output_buffer); }

  int framein(const std::vector<std::uint8_t>& payload) {
    return channel_.framein_payload(payload);
  }

  void expect_counts(int samples) {
    EXPECT_EQ(pvt()->sample_count, samples);
    EXPECT_EQ(pvt()->byte_count, 2 * samples);
  }

  // Exactly one level-3 line from g729tolin_framein with this text.
  void expect_logged(const std::string& message) {
    const auto log = standin::take_log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].level, 3);
    EXPECT_EQ(log[0].file, "codec_g729a.c");
    EXPECT_EQ(log[0].function, "g729tolin_framein");
    EXPECT_GT(log[0].line, 0);
    EXPECT_EQ(log[0].message, message);
  }

  moduletest::QuietLog quiet_;
  standin::Channel channel_;
};

TEST_F(G729tolin, EmptyPayloadDecodesNothing) {
  EXPECT_EQ(channel_.constructor_result(), 0);
  EXPECT_EQ(framein({}), 0);
  expect_counts(0);
  HostFrame empty{};
  empty.data_length = -3;
  EXPECT_EQ(channel_.framein(empty), 0);
  expect_counts(0);
  EXPECT_TRUE(standin::take_log().empty());
  EXPECT_EQ(channel_.frameout(), nullptr);
}

TEST_F(G729tolin, ConstructorInitialisesTheDecoderOnAnUsedBlock) {
  auto& state = static_cast<g729a::DecoderChannel*>(pvt()->codec_state)->codec;
  state.lsp_previous.fill(9.0);
  state.cng_seed = -5;
  state.previous_pitch_delay = -1;
  EXPECT_EQ(channel_.translator()->constructor(pvt()), 0);
  auto fresh = std::make_unique<g729a::DecoderState>();
  g729a::decoder_init(*fresh);
  EXPECT_EQ(state.lsp_previous, fresh->lsp_previous);
  EXPECT_EQ(state.cng_seed, fresh->cng_seed);
  EXPECT_EQ(state.previous_pitch_delay, fresh->previous_pitch_delay);
}

TEST_F(G729tolin, WellFormedPayloadsGiveEightySamplesPerFrame) {
  struct Case {
    std::vector<std::uint8_t> payload;
    int samples;
  };
  auto with_sid = [](std::vector<std::uint8_t> v) {
    v.insert(v.end(), kSid.begin(), kSid.end());
    return v;
  };
  const std::vector<Case> cases = {{kSid, 80},
                                   {speech_frames(1), 80},
                                   {with_sid(speech_frames(1)), 160},
                                   {speech_frames(2), 160},
                                   {with_sid(speech_frames(3)), 320},
                                   {speech_frames(5), 400}};
  for (const auto& c : cases) {
    standin::Channel ch(testsupport::decoder_translator());
    EXPECT_EQ(ch.framein_payload(c.payload), 0) << c.payload.size() << " bytes";
    EXPECT_EQ(ch.instance()->sample_count, c.samples) << c.payload.size() << " bytes";
    EXPECT_EQ(ch.instance()->byte_count, 2 * c.samples) << c.payload.size() << " bytes";
  }
  EXPECT_TRUE(standin::take_log().empty());
}

TEST_F(G729tolin, OutputIsEachFrameDecodedInTurn) {
  auto payload = speech_frames(5);
  payload.insert(payload.end(), kSid.begin(), kSid.end());
  ASSERT_EQ(framein(payload), 0);
  const auto expected = decode_directly(payload, {10, 10, 10, 10, 10, 2});
  expect_counts(480);
  EXPECT_EQ(std::memcmp(output(), expected.data(), 480 * 2), 0);
}

TEST_F(G729tolin, SidIsRecognisedOnlyAtTheEnd) {
  // Two SID-looking bytes first: twelve bytes still read as ten, then two.
  std::vector<std::uint8_t> payload = kSid;
  const auto frame = speech_frames(1);
  payload.insert(payload.end(), frame.begin(), frame.end());
  ASSERT_EQ(framein(payload), 0);
  expect_counts(160);
  const auto expected = decode_directly(payload, {10, 2});
  EXPECT_EQ(std::memcmp(output(), expected.data(), 160 * 2), 0);
}

TEST_F(G729tolin, BadTailStopsAfterTheGoodFrames) {
  struct Case {
    int bytes;
    int samples;  // decoded before the error
    int tail;
  };
  for (const Case c : {Case{11, 80, 1}, Case{4, 0, 4}, Case{1, 0, 1}, Case{3, 0, 3}, Case{9, 0, 9},
                       Case{14, 80, 4}, Case{29, 160, 9}}) {
    standin::Channel ch(testsupport::decoder_translator());
    auto payload = speech_frames(3);
    payload.resize(c.bytes);
    standin::take_log();
    EXPECT_EQ(ch.framein_payload(payload), -1) << c.bytes << " bytes";
    EXPECT_EQ(ch.instance()->sample_count, c.samples) << c.bytes << " bytes";
    EXPECT_EQ(ch.instance()->byte_count, 2 * c.samples) << c.bytes << " bytes";
    expect_logged("Invalid data (" + std::to_string(c.tail) + " bytes at the end)\n");
  }
}

TEST_F(G729tolin, OneMoreFrameFitsAfter7920WaitingSamples) {
  pvt()->sample_count = 7920;
  pvt()->byte_count = 15840;
  const auto frame = speech_frames(1);
  ASSERT_EQ(framein(frame), 0);
  expect_counts(8000);
  const auto expected = decode_directly(frame, {10});
  EXPECT_EQ(std::memcmp(output() + 7920, expected.data(), 80 * 2), 0);
  EXPECT_TRUE(standin::take_log().empty());
}

TEST_F(G729tolin, NoFrameFitsAfter7921WaitingSamples) {
  pvt()->sample_count = 7921;
  pvt()->byte_count = 15842;
  EXPECT_EQ(framein(speech_frames(1)), -1);
  EXPECT_EQ(pvt()->sample_count, 7921);
  EXPECT_EQ(pvt()->byte_count, 15842);
  expect_logged("Out of buffer space\n");
  // The length is judged before the room.
  EXPECT_EQ(framein({1, 2, 3, 4}), -1);
  expect_logged("Invalid data (4 bytes at the end)\n");
}

TEST_F(G729tolin, FramesBeforeTheFullBufferStayCounted) {
  pvt()->sample_count = 7850;
  pvt()->byte_count = 15700;
  EXPECT_EQ(framein(speech_frames(2)), -1);
  expect_counts(7930);
  expect_logged("Out of buffer space\n");
}

TEST_F(G729tolin, HostCollectsAndResetsTheCounts) {
  ASSERT_EQ(framein(speech_frames(2)), 0);
  HostFrame* f = channel_.frameout();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->format, SLINEAR);
  EXPECT_EQ(f->samples, 160);
  EXPECT_EQ(f->data_length, 320);
  expect_counts(0);
  EXPECT_EQ(channel_.frameout(), nullptr);
  // The decoder state carries on: the next payload writes from the start again.
  ASSERT_EQ(framein(speech_frames(1)), 0);
  expect_counts(80);
}

TEST_F(G729tolin, MissingPayloadOrFrameIsRefused) {
  HostFrame frame{};
  frame.frame_type = 2;
  frame.format = G729A;
  frame.data_length = 10;
  frame.payload = nullptr;
  EXPECT_EQ(channel_.framein(frame), -1);
  expect_counts(0);
  const auto log = standin::take_log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].level, 3);
  EXPECT_EQ(log[0].function, "g729tolin_framein");

  EXPECT_EQ(channel_.translator()->framein(pvt(), nullptr), -1);
  expect_counts(0);
  EXPECT_EQ(standin::take_log().size(), 1u);
}

}  // namespace

namespace {

// A host that corrupted sample_count gets a refusal, never a frame decoded
// outside output_buffer; a count at the edges keeps its meaning.
TEST_F(G729tolin, CountOutsideTheBufferIsRefused) {
  auto bytes = [&] {
    const auto* state = static_cast<const std::uint8_t*>(pvt()->codec_state);
    const auto* out = static_cast<const std::uint8_t*>(pvt()->output_buffer);
    std::vector<std::uint8_t> b(state, state + channel_.translator()->state_size);
    b.insert(b.end(), out, out + channel_.translator()->buffer_size);
    return b;
  };
  const auto before = bytes();
  for (int count : {-1, -80, -2147483647 - 1, 8001, 2147483647}) {
    for (const auto& payload : {speech_frames(2), kSid, std::vector<std::uint8_t>{}}) {
      pvt()->sample_count = count;
      pvt()->byte_count = 0;
      EXPECT_EQ(framein(payload), -1) << count;
      EXPECT_EQ(pvt()->sample_count, count);
      EXPECT_EQ(pvt()->byte_count, 0);
      expect_logged("Invalid sample count (" + std::to_string(count) + ", buffer holds 8000)\n");
      EXPECT_TRUE(bytes() == before) << count;
    }
  }
  pvt()->sample_count = 8000;
  pvt()->byte_count = 16000;
  EXPECT_EQ(framein(kSid), -1);
  expect_logged("Out of buffer space\n");
  pvt()->sample_count = 0;
  pvt()->byte_count = 0;
  EXPECT_EQ(framein(kSid), 0);
  expect_counts(80);
}

}  // namespace
