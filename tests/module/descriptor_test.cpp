// The translators' descriptors and sample frames as the host sees them.
#include <cmath>
#include <cstring>

#include "codec/common/frame_format.h"
#include "g729a/codec.h"
#include "support/test_support.h"
#include "translators/translators.h"

namespace {

// The 80-byte name field: the name, then zeros to the end.
void expect_name_field(const TranslatorDescriptor* t, const char* name) {
  const std::size_t n = std::strlen(name);
  EXPECT_EQ(std::memcmp(t->name, name, n), 0);
  for (std::size_t i = n; i < sizeof t->name; ++i) EXPECT_EQ(t->name[i], 0) << "byte " << i;
}

TEST(TranslatorDescriptor, EncoderFields) {
  const TranslatorDescriptor* t = testsupport::encoder_translator();
  ASSERT_NE(t, nullptr);
  expect_name_field(t, "lintog729");
  EXPECT_EQ(t->source_format, 64);
  EXPECT_EQ(t->destination_format, 256);
  EXPECT_NE(t->constructor, nullptr);
  EXPECT_NE(t->framein, nullptr);
  EXPECT_NE(t->frameout, nullptr);
  EXPECT_NE(t->destroy, nullptr);
  EXPECT_NE(t->sample, nullptr);
  EXPECT_EQ(t->buffer_samples, 8000);
  EXPECT_EQ(t->buffer_size, 16000);
  EXPECT_EQ(t->state_size, static_cast<int>(sizeof(g729a::EncoderChannel)));
  EXPECT_EQ(t->module, testsupport::module().descriptor()->host_handle);
}

TEST(TranslatorDescriptor, DecoderFields) {
  const TranslatorDescriptor* t = testsupport::decoder_translator();
  ASSERT_NE(t, nullptr);
  expect_name_field(t, "g729tolin");
  EXPECT_EQ(t->source_format, 256);
  EXPECT_EQ(t->destination_format, 64);
  EXPECT_NE(t->constructor, nullptr);
  EXPECT_NE(t->framein, nullptr);
  EXPECT_EQ(t->frameout, nullptr);  // the host collects the output itself
  EXPECT_NE(t->destroy, nullptr);
  EXPECT_NE(t->sample, nullptr);
  EXPECT_EQ(t->buffer_samples, 8000);
  EXPECT_EQ(t->buffer_size, 16000);
  EXPECT_EQ(t->state_size, static_cast<int>(sizeof(g729a::DecoderChannel)));
}

void expect_host_fields_zero(const HostFrame* f) {
  EXPECT_EQ(f->offset, 0);
  EXPECT_EQ(f->timestamp, 0);
  EXPECT_EQ(f->next, nullptr);
}

TEST(SampleFrame, EncoderSampleIsSpeechFromTheBundledRecording) {
  const HostFrame* f = testsupport::encoder_translator()->sample();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->frame_type, 2);
  EXPECT_EQ(f->format, 64);
  EXPECT_EQ(f->data_length, 480);
  EXPECT_EQ(f->samples, 240);
  EXPECT_STREQ(f->source, "lintog729_sample");
  expect_host_fields_zero(f);
  ASSERT_NE(f->payload, nullptr);

  // The samples are a stretch of the recording, not silence.
  const auto speech =
      testsupport::read_pcm(std::string(G729A_SOURCE_DIR) + "/data/speech/librivox_austen_8k.raw");
  const auto* pcm = static_cast<const std::int16_t*>(f->payload);
  bool found = false;
  for (std::size_t start = 0; start + 240 <= speech.size() && !found; ++start) {
    found = std::memcmp(&speech[start], pcm, 480) == 0;
  }
  EXPECT_TRUE(found);
  double energy = 0;
  for (int i = 0; i < 240; ++i) energy += static_cast<double>(pcm[i]) * pcm[i];
  EXPECT_GT(std::sqrt(energy / 240), 1000.0);
}

TEST(SampleFrame, DecoderSampleIsFiveValidSpeechFrames) {
  const HostFrame* f = testsupport::decoder_translator()->sample();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->frame_type, 2);
  EXPECT_EQ(f->format, 256);
  EXPECT_EQ(f->data_length, 50);
  EXPECT_EQ(f->samples, 400);
  EXPECT_STREQ(f->source, "g729tolin_sample");
  expect_host_fields_zero(f);
  ASSERT_NE(f->payload, nullptr);
  const auto* bytes = static_cast<const std::uint8_t*>(f->payload);
  for (int i = 0; i < 5; ++i) {
    g729a::FrameParameters p;
    ASSERT_TRUE(g729a::unpack_frame(bytes + 10 * i, 10, p));
    EXPECT_EQ(p.kind, g729a::FrameKind::Speech);
    EXPECT_EQ(p.slots[g729a::kSlotP0], 0) << "parity error in frame " << i;
  }
}

TEST(SampleFrame, EachSampleTranslatesThroughItsOwnTranslator) {
  {
    standin::Channel enc(testsupport::encoder_translator());
    std::vector<std::uint8_t> out;
    EXPECT_EQ(
        enc.feed_pcm({static_cast<const std::int16_t*>(enc.translator()->sample()->payload), 240},
                     out),
        0);
    EXPECT_EQ(out.size(), 30u);
  }
  {
    standin::Channel dec(testsupport::decoder_translator());
    HostFrame frame = *dec.translator()->sample();
    EXPECT_EQ(dec.framein(frame), 0);
    EXPECT_EQ(dec.instance()->sample_count, 400);
    EXPECT_EQ(dec.instance()->byte_count, 800);
  }
}

}  // namespace
