#include "codec/common/lsf.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

#include "codec/common/tables.h"

namespace {

using g729a::LsfMaMemory;
using g729a::LsfVector;

// Codebook rows chosen by the tests: every test row of lsf_cb1 is combined
// with zero rows of a private second stage so the sums are known exactly.
struct Books {
  double cb1[1][10];
  double cb2[1][10];
};

Books books_for(const LsfVector& sum) {
  Books b{};
  for (int j = 0; j < 10; ++j) {
    b.cb1[0][j] = sum[j];
    b.cb2[0][j] = 0.0;
  }
  return b;
}

TEST(LsfExpand, PullsClosePairsSymmetricallyToTheGap) {
  LsfVector v = {0.1, 0.2, 0.2005, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0, 1.1};
  g729a::lsf_expand(v, 0.0012);
  const double mean = (0.2 + 0.2005) / 2;
  EXPECT_NEAR(v[1], mean - 0.0006, 1e-15);
  EXPECT_NEAR(v[2], mean + 0.0006, 1e-15);
  EXPECT_NEAR(v[2] - v[1], 0.0012, 1e-15);
  EXPECT_EQ(v[0], 0.1);
  EXPECT_EQ(v[3], 0.5);
}

TEST(LsfExpand, CrossedPairsAreUncrossed) {
  LsfVector v = {0.1, 0.3, 0.2, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0, 1.1};
  g729a::lsf_expand(v, 0.0012);
  EXPECT_NEAR(v[2] - v[1], 0.0012, 1e-15);
  EXPECT_NEAR(v[1] + v[2], 0.5, 1e-15);
}

TEST(LsfExpand, SecondGapMovesOnlyPairsCloserThanIt) {
  LsfVector v = {0.1, 0.2, 0.2007, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0, 1.1};
  const LsfVector before = v;
  g729a::lsf_expand(v, 0.0006);
  EXPECT_EQ(v, before);
}

TEST(LsfExpand, StepsSeeEarlierChanges) {
  // Three values within the gap: the second step acts on the value the
  // first step already moved.
  LsfVector v = {0.1, 0.2, 0.2, 0.2, 0.6, 0.7, 0.8, 0.9, 1.0, 1.1};
  g729a::lsf_expand(v, 0.0012);
  EXPECT_NEAR(v[1], 0.2 - 0.0006, 1e-15);
  // step j = 2: d = (0.2006 - 0.2 + 0.0012) / 2 = 0.0009
  EXPECT_NEAR(v[2], 0.2006 - 0.0009, 1e-15);
  EXPECT_NEAR(v[3], 0.2 + 0.0009, 1e-15);
}

TEST(LsfStabilize, FloorDistanceAndCeiling) {
  LsfVector v = {0.001, 0.01, 0.02, 0.5, 0.6, 0.7, 0.8, 0.9, 3.13, 3.2};
  g729a::lsf_stabilize(v);
  EXPECT_EQ(v[0], 0.005);
  EXPECT_EQ(v[1], 0.005 + 0.0392);
  EXPECT_EQ(v[2], v[1] + 0.0392);
  EXPECT_EQ(v[9], 3.135);
  EXPECT_LT(v[9] - v[8], 0.0392);  // nothing corrects the last gap
}

TEST(LsfStabilize, OneOrderingPassOnly) {
  LsfVector v = {0.5, 0.4, 0.3, 1.0, 1.2, 1.4, 1.6, 1.8, 2.0, 2.2};
  g729a::lsf_stabilize(v);
  // One bubble pass moves 0.5 to the third place; 0.4 and 0.3 stay swapped,
  // then the distance pass pushes 0.3 above 0.4.
  EXPECT_EQ(v[0], 0.4);
  EXPECT_EQ(v[1], 0.4 + 0.0392);
  EXPECT_EQ(v[2], 0.5);
}

TEST(LsfReconstruct, ResetMemoryAndWellSpacedSum) {
  const LsfVector sum = {0.2, 0.4, 0.6, 0.8, 1.0, 1.3, 1.6, 1.9, 2.2, 2.5};
  const Books b = books_for(sum);
  LsfMaMemory memory;
  g729a::lsf_ma_memory_init(memory);
  for (int mode = 0; mode < 2; ++mode) {
    LsfMaMemory m = memory;
    LsfVector out;
    g729a::lsf_reconstruct(b.cb1, b.cb2, 0, 0, 0, g729a::lsf_ma_coef[mode], m, out,
                           g729a::lsf_ma_coef_sum[mode]);
    for (int j = 0; j < 10; ++j) {
      double expected = sum[j] * g729a::lsf_ma_coef_sum[mode][j];
      for (int k = 0; k < 4; ++k)
        expected += g729a::lsf_ma_memory_reset[j] * g729a::lsf_ma_coef[mode][k][j];
      EXPECT_EQ(out[j], expected) << "mode " << mode << " lsf " << j;
    }
    EXPECT_EQ(m[0], sum);
    for (int k = 1; k < 4; ++k) EXPECT_EQ(m[k], g729a::lsf_ma_memory_reset);
  }
}

TEST(LsfReconstruct, MemoryGetsTheExpandedVectorNotTheStabilizedOutput) {
  // Sum with a crossed pair and a very low first value: both the expansion
  // and the stabilization change things.
  const LsfVector sum = {-0.5, 0.4, 0.39, 0.8, 1.0, 1.3, 1.6, 1.9, 2.2, 2.5};
  const Books b = books_for(sum);
  LsfMaMemory memory;
  g729a::lsf_ma_memory_init(memory);
  const LsfMaMemory before = memory;
  LsfVector out;
  g729a::lsf_reconstruct(b.cb1, b.cb2, 0, 0, 0, g729a::lsf_ma_coef[0], memory, out,
                         g729a::lsf_ma_coef_sum[0]);
  LsfVector expanded = sum;
  g729a::lsf_expand(expanded, 0.0012);
  g729a::lsf_expand(expanded, 0.0006);
  EXPECT_EQ(memory[0], expanded);
  EXPECT_EQ(memory[1], before[0]);
  EXPECT_EQ(memory[3], before[2]);
  for (int j = 0; j < 9; ++j) EXPECT_GE(out[j + 1] - out[j], 0.0392 - 1e-15);
  EXPECT_GE(out[0], 0.005);
}

TEST(LsfReconstruct, UsesBothSecondStageRows) {
  LsfMaMemory memory;
  g729a::lsf_ma_memory_init(memory);
  LsfVector out;
  g729a::lsf_reconstruct(g729a::lsf_cb1, g729a::lsf_cb2, 5, 7, 19, g729a::lsf_ma_coef[1], memory,
                         out, g729a::lsf_ma_coef_sum[1]);
  LsfVector expected;
  for (int j = 0; j < 10; ++j)
    expected[j] = g729a::lsf_cb1[5][j] + g729a::lsf_cb2[j < 5 ? 7 : 19][j];
  g729a::lsf_expand(expected, 0.0012);
  g729a::lsf_expand(expected, 0.0006);
  EXPECT_EQ(memory[0], expected);
}

// Crowded neighbours in every part of the vector, partial ranges too: each
// pair moves apart exactly as the step-by-step pass with its branch moves it.
TEST(LsfExpand, MatchesThePlainPassOnCrowdedVectors) {
  std::mt19937 rng(10);
  std::uniform_real_distribution<double> step(-0.0005, 0.003);
  const int ranges[][2] = {{1, 9}, {1, 4}, {5, 9}, {3, 3}, {9, 9}};
  for (int trial = 0; trial < 2000; ++trial) {
    std::array<double, 10> v;
    v[0] = 0.1;
    for (int j = 1; j < 10; ++j) v[j] = v[j - 1] + step(rng);
    for (const auto& r : ranges) {
      for (double gap : {0.0012, 0.0006}) {
        std::array<double, 10> plain = v;
        for (int j = r[0]; j <= r[1]; ++j) {
          const double d = (plain[j - 1] - plain[j] + gap) * 0.5;
          if (d > 0.0) {
            plain[j - 1] = plain[j - 1] - d;
            plain[j] = plain[j] + d;
          }
        }
        std::array<double, 10> fast = v;
        g729a::lsf_expand(fast, gap, r[0], r[1]);
        ASSERT_EQ(fast, plain) << "trial " << trial << " range " << r[0] << ".." << r[1];
      }
    }
  }
}

}  // namespace
