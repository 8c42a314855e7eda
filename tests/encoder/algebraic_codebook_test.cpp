#include "codec/encoder/algebraic_codebook.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>

#include "codec/reference/encoder_stages.h"

namespace {

using Vec = std::array<double, 40>;

struct Result {
  Vec h;  // response after the search (sharpened in place)
  Vec cw;
  Vec y2;
  std::int32_t position = -1;
  std::int32_t sign = -1;
};

Result run(const Vec& x2, const Vec& h, int t0, double sharpening) {
  Result r;
  r.h = h;
  g729a::algebraic_codebook_search(x2.data(), r.h.data(), t0, sharpening, r.cw.data(), r.y2.data(),
                                   &r.position, &r.sign);
  return r;
}

// Pulses as the decoder reads them from the two indices.
struct Pulses {
  std::array<int, 4> m;
  std::array<double, 4> s;
};

Pulses decode(std::int32_t c, std::int32_t s) {
  Pulses p;
  p.m = {(c & 7) * 5, ((c >> 3) & 7) * 5 + 1, ((c >> 6) & 7) * 5 + 2,
         ((c >> 10) & 7) * 5 + 3 + ((c >> 9) & 1)};
  for (int k = 0; k < 4; ++k) p.s[k] = ((s >> k) & 1) ? 1.0 : -1.0;
  return p;
}

Vec unit_impulse() {
  Vec h{};
  h[0] = 1.0;
  return h;
}

Vec decaying(double ratio) {
  Vec h;
  double v = 1.0;
  for (double& x : h) {
    x = v;
    v *= ratio;
  }
  return h;
}

// The outputs agree with the indices: cw is the decoded pulse vector
// (sharpened for short delays) and y2 is that pulse vector filtered by hs.
void expect_consistent(const Result& r, const Vec& hs, int t0, double sharpening) {
  ASSERT_GE(r.position, 0);
  ASSERT_LT(r.position, 8192);
  ASSERT_GE(r.sign, 0);
  ASSERT_LT(r.sign, 16);
  const Pulses p = decode(r.position, r.sign);
  Vec cw{};
  Vec y2{};
  for (int k = 0; k < 4; ++k) {
    cw[p.m[k]] = p.s[k];
    for (int n = p.m[k]; n < 40; ++n) y2[n] += p.s[k] * hs[n - p.m[k]];
  }
  if (t0 < 40) {
    for (int n = t0; n < 40; ++n) cw[n] += sharpening * cw[n - t0];
  }
  EXPECT_EQ(r.cw, cw);
  for (int n = 0; n < 40; ++n) EXPECT_NEAR(r.y2[n], y2[n], 1e-12) << n;
}

// With a zero target every d is exactly 0: all signs are +1, every
// candidate scores the same, so the first candidate of every stage stays
// and the later searches and the track-4 pass replace nothing.
TEST(AlgebraicCodebook, ZeroTargetKeepsTheFirstCandidate) {
  for (const Vec& h : {unit_impulse(), decaying(0.7)}) {
    const Result r = run(Vec{}, h, 60, 0.2);
    EXPECT_EQ(r.position, 0);
    EXPECT_EQ(r.sign, 15);
    expect_consistent(r, h, 60, 0.2);
  }
}

// With a unit response the criterion reduces to the sum of |d| over four
// uncorrelated pulses, so the search must take the largest |x2| of each
// track, and of tracks 3 and 4 together for pulse 3.
Vec track_target(int m0, double v0, int m1, double v1, int m2, double v2, int m3, double v3) {
  Vec x;
  for (int n = 0; n < 40; ++n) x[n] = 0.01 * (n % 7) - 0.03;  // small clutter
  x[m0] = v0;
  x[m1] = v1;
  x[m2] = v2;
  x[m3] = v3;
  return x;
}

TEST(AlgebraicCodebook, PositionAndSignIndexFields) {
  struct Case {
    int m3;
    int top;  // bits 12..9 of the position index
  };
  for (const Case c : {Case{3, 0}, Case{4, 1}, Case{38, 14}, Case{39, 15}}) {
    const Vec x2 = track_target(35, -9.0, 6, 8.0, 37, 7.0, c.m3, -6.0);
    const Result r = run(x2, unit_impulse(), 60, 0.2);
    EXPECT_EQ(r.position >> 9, c.top) << c.m3;
    EXPECT_EQ(r.position & 511, 7 + 8 * 1 + 64 * 7) << c.m3;
    EXPECT_EQ(r.sign, 2 + 4) << c.m3;
    expect_consistent(r, unit_impulse(), 60, 0.2);
  }
  const Result r = run(track_target(0, 5.0, 1, -5.0, 2, 5.0, 18, 5.0), unit_impulse(), 60, 0.2);
  EXPECT_EQ(r.position, 0 + 0 + 0 + 512 * 6);
  EXPECT_EQ(r.sign, 1 + 4 + 8);
}

TEST(AlgebraicCodebook, EqualMagnitudesTakeTheLowerPosition) {
  // Track 2: 12 and 27 equal; track 3 at 8 and track 4 at 9 equal, so the
  // track-4 pass only ties and the track-3 result stays.
  Vec x2 = track_target(20, 6.0, 31, 6.0, 12, 5.0, 8, 4.0);
  x2[27] = -5.0;
  x2[9] = 4.0;
  const Result r = run(x2, unit_impulse(), 60, 0.2);
  const Pulses p = decode(r.position, r.sign);
  EXPECT_EQ(p.m[0], 20);
  EXPECT_EQ(p.m[1], 31);
  EXPECT_EQ(p.m[2], 12);
  EXPECT_EQ(p.m[3], 8);
}

// The second candidate for pulse 2 matters when the first is penalised by
// its correlation with pulse 3. Response (1, 0.5): adjacent positions
// correlate by 0.5, every diagonal term is 1.25. d: 6 at 12 and 13 (same
// sign, adjacent), 5 at 27 and 32, 4 at 0 and 6. (12, 13) scores
// 144 / 3.5 below (27, 13) at 121 / 2.5, so the pair takes the second
// candidate, which among the equal 27 and 32 must be 27. Search B reaches
// the same set with the same score and does not replace it.
TEST(AlgebraicCodebook, SecondCandidateTieTakesTheLowerPosition) {
  Vec d{};
  d[12] = 6.0;
  d[13] = 6.0;
  d[27] = 5.0;
  d[32] = 5.0;
  d[0] = 4.0;
  d[6] = 4.0;
  // Solve d[n] = x2[n] + 0.5 x2[n + 1] backwards; every value stays exact.
  Vec x2{};
  x2[39] = d[39];
  for (int n = 38; n >= 0; --n) x2[n] = d[n] - 0.5 * x2[n + 1];
  Vec h{};
  h[0] = 1.0;
  h[1] = 0.5;
  const Result r = run(x2, h, 60, 0.2);
  const Pulses p = decode(r.position, r.sign);
  EXPECT_EQ(p.m, (std::array<int, 4>{0, 6, 27, 13}));
  EXPECT_EQ(r.sign, 15);
}

// A target that is exactly the filtered response of one codevector has that
// codevector as its unique best (Cauchy-Schwarz). The tree search is not
// exhaustive; these sets are ones it reaches, the clustered ones only
// through the signed cross terms of the correlation.
TEST(AlgebraicCodebook, FindsTheCodevectorThatMadeTheTarget) {
  struct Case {
    double ratio;  // response h[n] = ratio^n
    std::array<int, 4> m;
    std::array<double, 4> s;
  };
  const Case cases[] = {
      {0.5, {10, 26, 2, 34}, {1.0, -1.0, 1.0, -1.0}},
      {0.6, {5, 6, 7, 9}, {-1.0, -1.0, 1.0, 1.0}},
      {0.7, {5, 6, 7, 8}, {1.0, 1.0, -1.0, -1.0}},
      {0.8, {25, 26, 27, 29}, {-1.0, -1.0, 1.0, 1.0}},
      {-0.8, {0, 1, 2, 3}, {1.0, -1.0, -1.0, 1.0}},
      {0.8, {35, 31, 32, 34}, {1.0, -1.0, 1.0, -1.0}},
  };
  for (const Case& c : cases) {
    const Vec h = decaying(c.ratio);
    Vec x2{};
    for (int k = 0; k < 4; ++k) {
      for (int n = c.m[k]; n < 40; ++n) x2[n] += c.s[k] * h[n - c.m[k]];
    }
    const Result r = run(x2, h, 60, 0.5);
    const Pulses p = decode(r.position, r.sign);
    EXPECT_EQ(p.m, c.m) << c.ratio;
    EXPECT_EQ(p.s, c.s) << c.ratio;
    expect_consistent(r, h, 60, 0.5);
    for (int n = 0; n < 40; ++n) EXPECT_NEAR(r.y2[n], x2[n], 1e-12);
  }
}

TEST(AlgebraicCodebook, NoSharpeningFromDelay40) {
  Vec x2;
  for (int n = 0; n < 40; ++n) x2[n] = std::sin(0.7 * n) * (n % 5 + 1);
  const Vec h = decaying(-0.8);
  for (int t0 : {40, 143}) {
    const Result r = run(x2, h, t0, 0.7945);
    EXPECT_EQ(r.h, h);
    int nonzero = 0;
    for (double v : r.cw) {
      if (v != 0.0) {
        ++nonzero;
        EXPECT_EQ(std::fabs(v), 1.0);
      }
    }
    EXPECT_EQ(nonzero, 4);
    expect_consistent(r, h, t0, 0.7945);
  }
}

TEST(AlgebraicCodebook, ShortDelaySharpensResponseAndInnovation) {
  Vec x2;
  for (int n = 0; n < 40; ++n) x2[n] = std::cos(0.3 * n) * (7 - n % 7);
  const Vec h = decaying(0.85);
  const double beta = 0.5;
  for (int t0 : {20, 39}) {
    Vec hs = h;
    for (int n = t0; n < 40; ++n) hs[n] = h[n] + beta * h[n - t0];
    const Result r = run(x2, h, t0, beta);
    EXPECT_EQ(r.h, hs) << t0;
    expect_consistent(r, hs, t0, beta);
    if (t0 != 20) continue;
    // Every pulse before 20 has one echo 20 later on its own track, scaled
    // by beta.
    const Pulses p = decode(r.position, r.sign);
    int nonzero = 0;
    for (double v : r.cw) nonzero += v != 0.0;
    int echoes = 0;
    for (int k = 0; k < 4; ++k) {
      if (p.m[k] + t0 < 40) {
        ++echoes;
        EXPECT_EQ(r.cw[p.m[k] + t0], beta * p.s[k]);
      }
    }
    EXPECT_EQ(nonzero, 4 + echoes) << t0;
  }
}

}  // namespace
