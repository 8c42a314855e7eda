// DTX through the loaded module: lintog729_set_dtx, frameout's payloads
// (speech frames, at most one SID frame and only last) and its silent
// stretches, and the host's view of time matching the audio it fed.
#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "codec_g729a.h"
#include "g729a/codec.h"
#include "module/module_helpers.h"
#include "support/labelled_material.h"
#include "support/test_support.h"

namespace {

using SetDtxFn = int (*)(TranslatorInstance*, int);
using MissingFrameFn = int (*)(TranslatorInstance*);

SetDtxFn set_dtx() {
  return reinterpret_cast<SetDtxFn>(testsupport::module().symbol("lintog729_set_dtx"));
}

struct Output {
  std::vector<std::vector<std::uint8_t>> frames;  // payload of each frame; empty: nothing sent
  int samples = 0;
  int speech = 0, sid = 0, silent = 0;
};

// Feeds pcm in chunks of varying size, collecting every frameout result
// and checking each one's shape. in: pcm; inout: channel; out: result.
void run(standin::Channel& channel, const std::vector<std::int16_t>& pcm, Output& result) {
  std::mt19937 rng(7);
  std::size_t pos = 0;
  while (pos < pcm.size()) {
    const std::size_t n = std::min<std::size_t>(pcm.size() - pos, 40 + rng() % 400);
    ASSERT_EQ(channel.framein_pcm(std::span<const std::int16_t>(pcm.data() + pos, n)), 0);
    pos += n;
    while (HostFrame* f = channel.frameout()) {
      ASSERT_EQ(f->frame_type, CVN_FRAME_VOICE);
      ASSERT_EQ(f->format, G729A);
      ASSERT_GT(f->samples, 0);
      ASSERT_EQ(f->samples % 80, 0);
      result.samples += f->samples;
      if (f->data_length == 0) {
        ++result.silent;
        for (int k = 0; k < f->samples / 80; ++k) result.frames.emplace_back();
        continue;
      }
      const int sids = f->data_length % 10 == 2 ? 1 : 0;
      ASSERT_TRUE(f->data_length % 10 == 0 || sids == 1) << f->data_length;
      const int speech = f->data_length / 10;
      // Each frame's samples cover exactly the frames it carries.
      ASSERT_EQ(f->samples, 80 * (speech + sids));
      const auto* p = static_cast<const std::uint8_t*>(f->payload);
      for (int k = 0; k < speech; ++k) result.frames.emplace_back(p + 10 * k, p + 10 * k + 10);
      if (sids == 1) result.frames.emplace_back(p + 10 * speech, p + 10 * speech + 2);
      result.speech += speech;
      result.sid += sids;
    }
  }
}

TEST(ModuleDtx, RefusesWhatIsNotAnEncoderInstance) {
  moduletest::QuietLog quiet;
  ASSERT_NE(set_dtx(), nullptr) << "lintog729_set_dtx is not exported";
  EXPECT_EQ(set_dtx()(nullptr, 1), -1);
  EXPECT_EQ(standin::take_log().size(), 1u);
  standin::Channel decoder(testsupport::decoder_translator());
  EXPECT_EQ(set_dtx()(decoder.instance(), 1), -1);
  const auto log = standin::take_log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].level, CVN_LOG_WARNING);
}

// Speech with pauses in noise: payloads and silent stretches account for all
// the time fed, and a decoder fed them (with the untransmitted entry point
// for silent stretches) gives the same audio as the codec API directly.
TEST(ModuleDtx, PayloadsAndSilentStretchesCoverTheAudio) {
  const auto m = labelled::make(labelled::Noise::White, 30.0);
  standin::Channel encoder(testsupport::encoder_translator());
  ASSERT_EQ(set_dtx()(encoder.instance(), 1), 0);
  Output out;
  run(encoder, m.pcm, out);
  const int fed_frames = static_cast<int>(m.pcm.size() / 80);
  // At most one frame waits inside the module for the next call.
  EXPECT_GE(out.samples, 80 * (fed_frames - 1));
  EXPECT_LE(out.samples, 80 * fed_frames);
  EXPECT_GT(out.speech, 100);
  EXPECT_GT(out.sid, 5);
  EXPECT_GT(out.silent, 5);

  // The same frames from the codec API directly.
  auto enc = std::make_unique<g729a::EncoderState>();
  g729a::encoder_init(*enc, {.dtx = true});
  for (std::size_t f = 0; f < out.frames.size(); ++f) {
    std::array<std::uint8_t, 10> frame;
    const std::size_t n = g729a::encoder_encode(
        *enc, std::span<const std::int16_t, 80>(m.pcm.data() + 80 * f, 80), frame);
    ASSERT_EQ(n, out.frames[f].size()) << f;
    ASSERT_TRUE(std::equal(out.frames[f].begin(), out.frames[f].end(), frame.begin())) << f;
  }

  // Through the decoder translator.
  auto untransmitted =
      reinterpret_cast<MissingFrameFn>(testsupport::module().symbol("g729tolin_untransmitted"));
  ASSERT_NE(untransmitted, nullptr);
  standin::Channel decoder(testsupport::decoder_translator());
  std::vector<std::int16_t> decoded;
  for (const auto& frame : out.frames) {
    if (frame.empty()) {
      ASSERT_EQ(untransmitted(decoder.instance()), 0);
      HostFrame* f = decoder.frameout();
      ASSERT_NE(f, nullptr);
      const auto* s = static_cast<const std::int16_t*>(f->payload);
      decoded.insert(decoded.end(), s, s + f->samples);
    } else {
      ASSERT_EQ(decoder.feed_payload(frame, decoded), 0);
    }
  }
  EXPECT_EQ(decoded.size(), 80 * out.frames.size());
}

// Off by default, and off again: every frame a speech frame.
TEST(ModuleDtx, OffSendsSpeechOnly) {
  const auto m = labelled::make(labelled::Noise::None, 0.0);
  standin::Channel encoder(testsupport::encoder_translator());
  std::vector<std::int16_t> part(m.pcm.begin(), m.pcm.begin() + 80 * 300);
  Output out;
  run(encoder, part, out);
  EXPECT_EQ(out.sid + out.silent, 0);
  ASSERT_EQ(set_dtx()(encoder.instance(), 1), 0);
  ASSERT_EQ(set_dtx()(encoder.instance(), 0), 0);
  Output again;
  run(encoder, part, again);
  EXPECT_EQ(again.sid + again.silent, 0);
  EXPECT_GT(again.speech, 290);
}

}  // namespace
