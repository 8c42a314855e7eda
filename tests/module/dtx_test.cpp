// DTX through the loaded module: lintog729_set_dtx, frameout's payloads
// (speech frames, at most one SID frame and only last) and its silent
// stretches, and the host's view of time matching the audio it fed.
#include <random>
#include <vector>

#include "codec_g729a.h"
#include "module/module_helpers.h"
#include "support/labelled_material.h"
#include "support/test_support.h"

namespace {

using SetDtxFn = int (*)(TranslatorInstance*, int);

SetDtxFn set_dtx() {
  return reinterpret_cast<SetDtxFn>(testsupport::module().symbol("lintog729_set_dtx"));
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

// Speech with pauses in noise fed in chunks of varying size: each payload is
// a run of speech frames ended by at most one SID frame, its sample count
// covers exactly the frames it carries, silent stretches come as 0-byte
// frames, and together they account for the time fed.
TEST(ModuleDtx, PayloadsAndSilentStretchesCoverTheAudio) {
  const auto m = labelled::make(labelled::Noise::White, 30.0);
  standin::Channel encoder(testsupport::encoder_translator());
  ASSERT_EQ(set_dtx()(encoder.instance(), 1), 0);
  int samples = 0, speech = 0, sids = 0, silent = 0;
  std::mt19937 rng(7);
  for (std::size_t pos = 0, n = 0; pos < m.pcm.size(); pos += n) {
    n = std::min<std::size_t>(m.pcm.size() - pos, 40 + rng() % 400);
    ASSERT_EQ(encoder.framein_pcm(std::span<const std::int16_t>(m.pcm.data() + pos, n)), 0);
    while (HostFrame* f = encoder.frameout()) {
      ASSERT_EQ(f->frame_type, CVN_FRAME_VOICE);
      ASSERT_EQ(f->format, G729A);
      ASSERT_TRUE(f->samples > 0 && f->samples % 80 == 0) << f->samples;
      samples += f->samples;
      if (f->data_length == 0) {
        ++silent;
        continue;
      }
      const int sid = f->data_length % 10 == 2 ? 1 : 0, run = f->data_length / 10;
      ASSERT_TRUE(f->data_length % 10 == 0 || sid == 1) << f->data_length;
      ASSERT_EQ(f->samples, 80 * (run + sid));
      speech += run;
      sids += sid;
    }
  }
  // At most one frame waits inside the module for the next call.
  const int fed = static_cast<int>(m.pcm.size() / 80);
  EXPECT_GE(samples, 80 * (fed - 1));
  EXPECT_LE(samples, 80 * fed);
  EXPECT_GT(speech, 100);
  EXPECT_GT(sids, 5);
  EXPECT_GT(silent, 5);
}

}  // namespace
