// The encoder's pre-processing high-pass filter.
#include <cmath>
#include <memory>
#include <vector>

#include "g729a/codec.h"
#include "support/test_support.h"

namespace {

// Written out independently: the order of the five products is part of the result.
struct Reference {
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  double step(double x) {
    double y = 1.9059465 * y1;
    y += -0.9114024 * y2;
    y += 0.92727435 * x;
    y += -1.8544941 * x1;
    y += 0.92727435 * x2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = std::fabs(y) < 2e-5 ? 0.0 : y;
    if (std::fabs(y2) < 2e-5) y2 = 0.0;
    return y1;
  }
};

std::unique_ptr<g729a::EncoderState> zeroed_state() {
  auto s = std::make_unique<g729a::EncoderState>();
  s->preprocess_memory.fill(0.0);
  return s;
}

std::vector<double> speech_signal(std::size_t n) {
  const auto pcm =
      testsupport::read_pcm(std::string(G729A_SOURCE_DIR) + "/data/speech/librivox_austen_8k.raw");
  std::vector<double> x;
  for (std::size_t i = 0; i < n && i < pcm.size(); ++i) x.push_back(pcm[8000 + i]);
  return x;
}

TEST(PreprocessFilter, MatchesTheRecursionInItsSummationOrder) {
  auto state = zeroed_state();
  auto signal = speech_signal(2000);
  const auto input = signal;
  g729a::encoder_preprocess(state->preprocess_memory, signal);

  Reference ref;
  Reference numerator_first;  // same terms, numerator summed first
  int order_matters = 0;
  for (std::size_t n = 0; n < input.size(); ++n) {
    ASSERT_EQ(signal[n], ref.step(input[n])) << "sample " << n;
    const double x = input[n];
    double y = 0.92727435 * x;
    y += -1.8544941 * numerator_first.x1;
    y += 0.92727435 * numerator_first.x2;
    y += 1.9059465 * numerator_first.y1;
    y += -0.9114024 * numerator_first.y2;
    if (y != signal[n]) ++order_matters;
    numerator_first.x2 = numerator_first.x1;
    numerator_first.x1 = x;
    numerator_first.y2 = numerator_first.y1;
    numerator_first.y1 = signal[n];  // same history, so only the order differs
  }
  // The data must be able to tell the orders apart, or the check above proves nothing.
  EXPECT_GT(order_matters, 0);
  EXPECT_EQ(state->preprocess_memory[0], input.back());
  EXPECT_EQ(state->preprocess_memory[1], input[input.size() - 2]);
  EXPECT_EQ(state->preprocess_memory[2], ref.y1);
  EXPECT_EQ(state->preprocess_memory[3], ref.y2);
}

TEST(PreprocessFilter, SplittingTheSignalChangesNothing) {
  auto whole = zeroed_state();
  auto parts = zeroed_state();
  auto a = speech_signal(400);
  auto b = a;
  g729a::encoder_preprocess(whole->preprocess_memory, a);
  const std::span<double> s(b);
  g729a::encoder_preprocess(parts->preprocess_memory, s.subspan(0, 1));
  g729a::encoder_preprocess(parts->preprocess_memory, s.subspan(1, 80));
  g729a::encoder_preprocess(parts->preprocess_memory, s.subspan(81));
  EXPECT_EQ(a, b);
}

TEST(PreprocessFilter, SilenceGivesExactZerosAndSettlesWithoutDenormals) {
  auto state = zeroed_state();
  std::vector<double> zeros(80, 0.0);
  g729a::encoder_preprocess(state->preprocess_memory, zeros);
  for (double v : zeros) EXPECT_EQ(v, 0.0);

  // A loud burst, then a long silence: the tail decays through the flush range.
  std::vector<double> signal(4000, 0.0);
  for (int i = 0; i < 40; ++i) signal[i] = (i % 2 ? -1 : 1) * 30000.0;
  g729a::encoder_preprocess(state->preprocess_memory, signal);
  int flushed = 0;
  for (double v : signal) {
    EXPECT_NE(std::fpclassify(v), FP_SUBNORMAL);
    if (v != 0.0) {
      EXPECT_GE(std::fabs(v), 2e-5);
    }
    if (v == 0.0) ++flushed;
  }
  EXPECT_GT(flushed, 0);
  EXPECT_EQ(state->preprocess_memory[2], 0.0);
  EXPECT_EQ(state->preprocess_memory[3], 0.0);
  EXPECT_EQ(state->preprocess_memory[0], 0.0);
  EXPECT_EQ(state->preprocess_memory[1], 0.0);
}

TEST(PreprocessFilter, FlushKeepsTheThresholdItselfAndDropsBelowIt) {
  // With empty memories the output is 0.92727435 x; find x giving exactly 2e-5.
  double x = 2e-5 / 0.92727435;
  for (int i = 0; i < 64 && 0.92727435 * x != 2e-5; ++i) {
    x = std::nextafter(x, 0.92727435 * x < 2e-5 ? 1.0 : 0.0);
  }
  ASSERT_EQ(0.92727435 * x, 2e-5);
  const double below = std::nextafter(x, 0.0);
  ASSERT_LT(0.92727435 * below, 2e-5);

  for (const double sign : {1.0, -1.0}) {
    auto state = zeroed_state();
    std::vector<double> at{sign * x};
    g729a::encoder_preprocess(state->preprocess_memory, at);
    EXPECT_EQ(at[0], sign * 2e-5);
    EXPECT_EQ(state->preprocess_memory[2], sign * 2e-5);

    state = zeroed_state();
    std::vector<double> under{sign * below};
    g729a::encoder_preprocess(state->preprocess_memory, under);
    EXPECT_EQ(under[0], 0.0);
    EXPECT_EQ(state->preprocess_memory[2], 0.0);
    // The input memory keeps the exact tiny input.
    EXPECT_EQ(state->preprocess_memory[0], sign * below);
  }
}

TEST(PreprocessFilter, InputMemoriesAreNeverFlushed) {
  auto state = zeroed_state();
  std::vector<double> tiny{3e-9, -7e-12};
  g729a::encoder_preprocess(state->preprocess_memory, tiny);
  EXPECT_EQ(state->preprocess_memory[0], -7e-12);
  EXPECT_EQ(state->preprocess_memory[1], 3e-9);
  EXPECT_EQ(tiny[0], 0.0);
  EXPECT_EQ(tiny[1], 0.0);
}

TEST(PreprocessFilter, DirectCurrentSettlesAtTheZeroFrequencyGain) {
  auto state = zeroed_state();
  std::vector<double> dc(2000, 1000.0);
  g729a::encoder_preprocess(state->preprocess_memory, dc);
  // Gain at 0 Hz: numerator sum over one minus the feedback sum, about -40 dB.
  const double gain = (0.92727435 - 1.8544941 + 0.92727435) / (1.0 - 1.9059465 + 0.9114024);
  EXPECT_NEAR(gain, 0.01, 0.0005);
  EXPECT_NEAR(dc.back(), 1000.0 * gain, 1e-9);
}

}  // namespace
