#include "codec/common/tables.h"

#include <gtest/gtest.h>

namespace {

// The generated tables carry the published values, not approximations.
TEST(Tables, KnownValuesOfTheStandard) {
  EXPECT_EQ(g729a::lsf_cb1[0][0], 0.1814);
  EXPECT_EQ(g729a::lsf_cb1[0][3], 1.1077);
  EXPECT_EQ(g729a::lsf_cb1[127][9], 2.4328);
  EXPECT_EQ(g729a::lsf_cb2[0][3], 0.1261);
  EXPECT_EQ(g729a::lp_window[0], 0.08);
  EXPECT_EQ(g729a::lp_window[200], 1.0);  // peak where the two halves meet
  EXPECT_EQ(g729a::lsp_grid[0], 0.9997559);
  EXPECT_EQ(g729a::lsp_grid[50], -0.9997559);
  EXPECT_EQ(g729a::gain_cb2[15][0], 1.158039);
  EXPECT_EQ(g729a::cng_ma_coef_sum[0][0], static_cast<double>(static_cast<float>(0.2379833)));
  EXPECT_EQ(g729a::sid_gain_table[31], 3990.525);
}

// The gain maps and their inverses agree.
TEST(Tables, GainMapsAreInverse) {
  for (int i = 0; i < 8; ++i) EXPECT_EQ(g729a::gain_unmap1[g729a::gain_map1[i]], i);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(g729a::gain_unmap2[g729a::gain_map2[i]], i);
}

}  // namespace
