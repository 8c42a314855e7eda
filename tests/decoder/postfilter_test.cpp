#include "codec/decoder/postfilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "codec/decoder/output_stage.h"
#include "codec/decoder/synthesis.h"
#include "codec/reference/decoder_stages.h"
#include "g729a/codec.h"

namespace {

using namespace g729a;

// Residual with a at n = 0 and b at each listed past delay: only those
// delays correlate with the current subframe.
Subframe pitch_filtered(int T, double a, std::initializer_list<int> delays, double b) {
  std::array<double, 183> buf{};
  double* r = buf.data() + 143;
  r[0] = a;
  for (int d : delays) r[-d] = b;
  Subframe p;
  pitch_postfilter(r, T, p);
  return p;
}

// p[0] when the sample b at delay d is chosen; below 40 the delayed energy
// window also holds a.
double weighted(double a, double b, int d) {
  const double c = a * b, Ed = 0.5 + b * b + (d < 40 ? a * a : 0.0);
  const double g = 0.5 * c / (Ed + 0.5 * c);
  return (1 - g) * a + g * b;
}

TEST(PitchPostfilter, SearchesSevenDelaysEndingAt143) {
  const struct {
    int T, d;
    bool in;
  } cases[] = {{141, 137, true},  {141, 143, true}, {141, 136, false}, {140, 143, true},
               {140, 136, false}, {19, 16, true},   {19, 22, true},    {19, 15, false},
               {19, 23, false},   {100, 104, false}};
  for (const auto& c : cases) {
    const double expected = c.in ? weighted(10, 20, c.d) : 10.0;
    EXPECT_NEAR(pitch_filtered(c.T, 10, {c.d}, 20)[0], expected, 1e-12) << c.T << " " << c.d;
  }
}

TEST(PitchPostfilter, TieKeepsTheSmallerDelayAndGainBranches) {
  const Subframe p = pitch_filtered(60, 10, {59, 62}, 20);
  EXPECT_NEAR(p[0], weighted(10, 20, 59), 1e-12);
  EXPECT_EQ(p[3], 0.0);  // the delay 62 would bring the sample at -59 here
  // Delayed energy below the correlation: fixed weights 2/3 and 1/3.
  EXPECT_EQ(pitch_filtered(60, 20, {60}, 10)[0], 0.6666666666666666 * 20 + 0.3333333333333333 * 10);
  // Prediction gain below 3 dB: the residual passes unchanged.
  EXPECT_EQ(pitch_filtered(60, 1, {60}, 1)[0], 1.0);
}

TEST(TiltCompensation, FirstSampleUsesTheCarriedInputAndLeavesTheLast) {
  std::array<double, 40> p;
  for (int n = 0; n < 40; ++n) p[n] = n + 1.0;
  std::array<double, 40> out;
  double memory = 2.0;
  tilt_compensation(0.5, SubframeIn(p.data(), 40), memory, SubframeOut(out.data(), 40));
  EXPECT_EQ(out[0], 0.0);  // 1 - 0.5 * 2
  for (int n = 1; n < 40; ++n) EXPECT_EQ(out[n], (n + 1.0) - 0.5 * n) << n;
  EXPECT_EQ(memory, 40.0);
  EXPECT_EQ(p[0], 1.0);  // the input is left alone
}

TEST(AdaptiveGainControl, AllZeroOutputRestartsTheGainFromZero) {
  std::array<double, 40> x;
  x.fill(2.0);
  Subframe y{};
  double gain = 1.0;
  adaptive_gain_control(SubframeIn(x.data(), 40), SubframeIn(y.data(), 40), gain,
                        SubframeOut(y.data(), 40));
  EXPECT_EQ(gain, 0.0);
  y.fill(1.0);
  adaptive_gain_control(SubframeIn(x.data(), 40), SubframeIn(y.data(), 40), gain,
                        SubframeOut(y.data(), 40));
  const double g0 = 2.0 * 0.09999999999999998;  // sqrt(160 / 40), scaled
  EXPECT_EQ(y[0], g0);
  EXPECT_EQ(y[1], g0 * 0.9 + g0);
  // Silent input with ringing output: the gain only decays.
  x.fill(0.0);
  y.fill(1.0);
  gain = 1.0;
  adaptive_gain_control(SubframeIn(x.data(), 40), SubframeIn(y.data(), 40), gain,
                        SubframeOut(y.data(), 40));
  EXPECT_EQ(y[1], 0.9 * 0.9);
}

TEST(PostfilterSubframe, ComfortNoiseSkipsOnlyThePitchStage) {
  DecoderState base;
  decoder_init(base);
  for (int i = 0; i < 90; ++i) base.synthesis_buffer[i] = 1000.0 * std::sin(i * 0.3141592653589793);
  const std::array<double, 11> A{1.0, -0.5};
  auto run = [&](FrameKind kind, int T) {
    DecoderState s = base;
    std::array<double, 80> out{};
    for (int sub = 0; sub < 2; ++sub) postfilter_subframe(s, A, kind, T, sub, out);
    return out;
  };
  EXPECT_EQ(run(FrameKind::Sid, 20), run(FrameKind::Sid, 140));
  EXPECT_NE(run(FrameKind::Speech, 20), run(FrameKind::Speech, 140));
}

TEST(OutputStage, RoundsHalfAwayFromZeroSaturatesAndKeepsUnroundedMemory) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double w;
    int pcm;
  } cases[] = {{0.5, 1},         {-0.5, -1},          {0.49, 0},
               {-0.49, 0},       {32766.49, 32766},   {32766.5, 32767},
               {1e300, 32767},   {-32767.49, -32767}, {-32767.5, -32768},
               {-1e300, -32768}, {inf, 32767},        {-inf, -32768},
               {nan, 0}};
  for (const auto& c : cases) EXPECT_EQ(to_pcm_sample(c.w), c.pcm) << c.w;
  // y1 = 0.2819... must stay unrounded: rounded to 0 it would give 939.
  std::array<double, 80> v{0.3, 1000.0};
  std::array<double, 4> mem{};
  std::array<std::int16_t, 80> pcm;
  output_stage(v, mem, pcm);
  EXPECT_EQ(pcm[0], 0);
  EXPECT_EQ(pcm[1], 940);
}

TEST(SynthesisMemory, OnlySpeechSubframesFlushTinyValues) {
  std::array<double, 10> last{};
  last[7] = -2e-5;  // at the threshold: kept
  last[8] = 3e-5;
  last[9] = -1.5e-5;
  for (bool flush : {true, false}) {
    std::array<double, 10> memory;
    memory.fill(7.0);
    keep_synthesis_memory(last, flush, memory);
    EXPECT_EQ(memory[0], 0.0);
    EXPECT_EQ(memory[7], -2e-5);
    EXPECT_EQ(memory[8], 3e-5);
    EXPECT_EQ(memory[9], flush ? 0.0 : -1.5e-5);
  }
}

}  // namespace
