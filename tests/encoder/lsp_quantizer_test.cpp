#include "codec/encoder/lsp_quantizer.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "codec/common/tables.h"

namespace g729a {
namespace {

using Lsf = std::array<double, 10>;

TEST(LspQuantizerTest, WeightsFromTheSpacing) {
  Lsf lsf;
  for (int i = 0; i < 10; ++i) lsf[i] = 0.3 * (i + 1);  // spacing 0.6 < 1 everywhere
  lsf[0] = 0.5;
  lsf[2] = 1.5;  // lsf[2] - lsf[0] exactly 1: d = 0, weight 1
  Lsf w;
  lsf_weights(lsf, w);
  EXPECT_EQ(w[1], 1.0);
  const double d3 = lsf[4] - lsf[2] - 1;
  EXPECT_EQ(w[3], 10 * (d3 * d3) + 1);
  const double d4 = lsf[5] - lsf[3] - 1;
  EXPECT_EQ(w[4], 1.2 * (10 * (d4 * d4) + 1));
  const double d5 = lsf[6] - lsf[4] - 1;
  EXPECT_EQ(w[5], 1.2 * (10 * (d5 * d5) + 1));
  const double d0 = lsf[1] - 0.12566370616 - 1;
  EXPECT_EQ(w[0], 10 * (d0 * d0) + 1);
  const double d9 = 2.8902652416800003 - lsf[8] - 1;
  EXPECT_EQ(w[9], d9 > 0 ? 1.0 : 10 * (d9 * d9) + 1);
}

// Quantizes and reconstructs through a decoder-side memory from the slots:
// both sides must end with the same memory and LSPs.
TEST(LspQuantizerTest, SlotsRebuildTheQuantizedVectorAndMemory) {
  LsfMaMemory encoder_memory;
  LsfMaMemory decoder_memory;
  lsf_ma_memory_init(encoder_memory);
  lsf_ma_memory_init(decoder_memory);
  for (int frame = 0; frame < 40; ++frame) {
    Lsf lsp;
    for (int i = 0; i < 10; ++i) {
      const double lsf = (i + 1) * 0.285 + 0.08 * std::sin(0.2 * frame + i);
      lsp[i] = std::cos(lsf);
    }
    Lsf lsp_q;
    std::int32_t slot1 = -1;
    std::int32_t slot2 = -1;
    lsp_quantize(lsp, encoder_memory, lsp_q, &slot1, &slot2);
    ASSERT_GE(slot1, 0);
    ASSERT_LE(slot1, 255);
    ASSERT_GE(slot2, 0);
    ASSERT_LE(slot2, 1023);

    const int l0 = slot1 >> 7;
    const int l1 = slot1 & 127;
    const int l2 = slot2 >> 5;
    const int l3 = slot2 & 31;
    Lsf lsf_q;
    lsf_reconstruct(lsf_cb1, lsf_cb2, l1, l2, l3, lsf_ma_coef[l0], decoder_memory, lsf_q,
                    lsf_ma_coef_sum[l0]);
    for (int i = 0; i < 10; ++i) {
      EXPECT_EQ(lsp_q[i], std::cos(lsf_q[i])) << frame << " " << i;
      EXPECT_NEAR(lsp_q[i], lsp[i], 0.05) << frame << " " << i;
    }
    EXPECT_EQ(encoder_memory, decoder_memory) << frame;
  }
}

TEST(LspQuantizerTest, ModeSearchPicksTheClosestFirstStageRow) {
  // Target a first-stage row exactly: with a zero memory the prediction is
  // nothing, t = lsf * inv; pick lsf so that t lands on row 77 as nearly as
  // doubles allow, then the first stage must choose 77.
  LsfMaMemory memory{};
  Lsf w;
  w.fill(1.0);
  for (int mode = 0; mode < 2; ++mode) {
    Lsf lsf;
    for (int j = 0; j < 10; ++j) lsf[j] = lsf_cb1[77][j] * lsf_ma_coef_sum[mode][j];
    const LsfModeChoice choice = lsf_search_mode(lsf, w, memory, mode);
    EXPECT_EQ(choice.cand, 77) << mode;
    EXPECT_GE(choice.dist, 0.0);
  }
}

}  // namespace
}  // namespace g729a
