#include "codec/decoder/parameter_decoding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "codec/common/adaptive_codebook.h"

namespace {

using namespace g729a;

TEST(PitchDelayDecode, IndexBoundariesOfBothSubframes) {
  // {subframe, T in (first delay for subframe 1), index, T, f}
  const int cases[][5] = {{0, 0, 0, 19, 1},     {0, 0, 1, 20, -1},     {0, 0, 196, 85, -1},
                          {0, 0, 197, 85, 0},   {0, 0, 255, 143, 0},   {1, 139, 31, 144, -1},
                          {1, 139, 30, 143, 1}, {1, 138, 31, 143, -1}, {1, 24, 0, 19, 1},
                          {1, 26, 0, 20, 1},    {1, 60, 2, 55, 0}};
  for (const auto& c : cases) {
    int T = c[1], f = -9;
    pitch_delay_decode(c[2], 20, 143, c[0], T, f);
    EXPECT_EQ(T, c[3]) << "subframe " << c[0] << " index " << c[2];
    EXPECT_EQ(f, c[4]) << "subframe " << c[0] << " index " << c[2];
  }
}

TEST(FixedCodebookDecode, PositionsAndSignsAtFieldBoundaries) {
  const struct {
    int C, S, pos[4];
  } cases[] = {{0, 0, {0, 1, 2, 3}},
               {8191, 15, {35, 36, 37, 39}},
               {512, 5, {0, 1, 2, 4}},
               {7679, 10, {35, 36, 37, 38}}};
  for (const auto& c : cases) {
    CodeVector cv;
    fixed_codebook_decode(c.C, c.S, cv);
    EXPECT_EQ(std::count(cv.begin(), cv.end(), 0.0), 36) << c.C;
    for (int k = 0; k < 4; ++k) EXPECT_EQ(cv[c.pos[k]], (c.S >> k) & 1 ? 1.0 : -1.0) << c.C;
  }
}

TEST(PitchSharpen, ShortDelaysRepeatAlreadySharpenedSamples) {
  const double b = 0.7945;
  for (int T : {19, 39, 40}) {
    CodeVector cv;
    fixed_codebook_decode(0, 15, cv);  // +1 at 0, 1, 2, 3
    pitch_sharpen(T, b, cv.data());
    for (int n = 0; n < 40; ++n) {
      double expected = n < 4 ? 1.0 : 0.0;
      if (n - T >= 0 && n - T < 4) expected = b;
      if (n - 2 * T >= 0 && n - 2 * T < 4) expected = b * b;
      EXPECT_EQ(cv[n], expected) << "T " << T << " n " << n;
    }
  }
}

TEST(GainDecode, IndicesGoThroughBothMapsAndThePredictor) {
  // GA/GB reaching the first and last rows of both codebooks: {index, gp, gamma}.
  const double cases[][3] = {{5 << 4 | 4, 0.050476, 0.429853},
                             {2 << 4 | 5, 1.321496, 4.040292},
                             {5 << 4 | 6, 0.121721, 0.185094}};
  CodeVector cv;
  fixed_codebook_decode(0, 15, cv);  // energy 4, plus 0.01
  for (const auto& c : cases) {
    std::array<double, 4> mem = {-10.0, -20.0, -30.0, -40.0};
    double gp = 0, gc = 0;
    gain_decode(static_cast<int>(c[0]), cv, 40, mem, gp, gc);
    const double p =
        36 - 10 * std::log10(4.01 / 40) - 0.68 * 10 - 0.58 * 20 - 0.34 * 30 - 0.19 * 40;
    EXPECT_NEAR(gp, c[1], 1e-12);
    EXPECT_NEAR(gc, std::pow(10.0, p / 20) * c[2], 1e-9 * gc);
    EXPECT_NEAR(mem[0], 20 * std::log10(c[2]), 1e-9);
    EXPECT_EQ((std::array<double, 3>{mem[1], mem[2], mem[3]}),
              (std::array<double, 3>{-10.0, -20.0, -30.0}));
  }
  std::array<double, 4> mem{};
  double gp = 0, gc = 0;
  gain_decode(0 << 4 | 5, cv, 40, mem, gp, gc);
  EXPECT_NEAR(gp, 1.356, 1e-3);  // the largest pitch gain
  EXPECT_EQ(bound_pitch_sharpening(gp), 0.7945);
}

}  // namespace
