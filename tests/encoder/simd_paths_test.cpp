// Each vector kernel of the encoder against the scalar path, bit for bit,
// over varied inputs and the edges of its delay and position ranges.
#include "support/simd_paths.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codec/encoder/algebraic_codebook.h"
#include "codec/encoder/closed_loop_pitch.h"
#include "codec/encoder/lp_analysis.h"
#include "codec/encoder/lsp_quantizer.h"
#include "codec/encoder/open_loop_pitch.h"
#include "codec/encoder/subframe.h"
#include "codec/reference/encoder_stages.h"

namespace {

using testsupport::expect_every_path_matches_scalar;
using testsupport::varied_signal;

TEST(SimdPaths, BackwardFilter) {
  for (unsigned seed = 0; seed < 30; ++seed) {
    const auto x = varied_signal(40, seed);
    const auto h = varied_signal(40, seed + 1000, 1.0);
    expect_every_path_matches_scalar(
        [&] {
          std::vector<double> d(40);
          g729a::backward_filter(x.data(), h.data(), d.data());
          return d;
        },
        "backward_filter");
  }
}

TEST(SimdPaths, WindowedAutocorrelation) {
  for (unsigned seed = 0; seed < 20; ++seed) {
    const auto speech = varied_signal(240, seed);
    expect_every_path_matches_scalar(
        [&] {
          std::vector<double> r(11);
          g729a::windowed_autocorrelation(std::span<const double, 240>(speech.data(), 240),
                                          std::span<double, 11>(r.data(), 11));
          return r;
        },
        "windowed_autocorrelation");
  }
}

TEST(SimdPaths, OpenLoopPitchIncludingTiesAndPeriodicSpeech) {
  std::vector<std::vector<double>> inputs;
  inputs.push_back(std::vector<double>(223, 0.0));  // every correlation ties
  for (unsigned seed = 0; seed < 30; ++seed) inputs.push_back(varied_signal(223, seed));
  for (int period : {20, 39, 40, 79, 80, 81, 142, 143}) {
    std::vector<double> s(223);
    for (int n = 0; n < 223; ++n) s[n] = 1000.0 * std::sin(6.283185307179586 * n / period);
    inputs.push_back(s);
  }
  for (const auto& s : inputs) {
    expect_every_path_matches_scalar(
        [&] { return std::vector<double>{double(g729a::open_loop_pitch(s.data() + 143))}; },
        "open_loop_pitch");
  }
}

// The second subframe's weighted speech with the open-loop correlations
// interleaved with it gives the samples, the flushed memory and the correlations that
// the two give one after the other (the scalar path), also when the frame
// decays into the flush threshold.
TEST(SimdPaths, WeightedSpeechWithOpenLoopCorrelationsMatchesBothApart) {
  for (unsigned seed = 0; seed < 16; ++seed) {
    const auto history = varied_signal(183, seed);  // 143 past and the first subframe
    auto res = varied_signal(40, seed + 500);
    if (seed % 4 == 3) {
      for (double& v : res) v *= 1e-9;
    }
    g729a::LpVector ap{1.0};
    const auto coef = varied_signal(10, seed + 900, 0.1);
    for (int k = 1; k <= 10; ++k) ap[k] = coef[k - 1] * std::pow(0.75, k);
    std::array<double, 10> start;
    for (int k = 0; k < 10; ++k) start[k] = seed % 4 == 3 ? 0.0 : history[173 + k];
    expect_every_path_matches_scalar(
        [&] {
          std::vector<double> buffer(history);
          buffer.resize(223, -1.0);
          std::array<double, 10> memory = start;
          std::array<double, g729a::kOpenLoopDelays> c;
          g729a::weighted_speech_and_correlations(res.data(), ap, memory, buffer.data() + 143, c);
          std::vector<double> out(buffer);
          out.insert(out.end(), memory.begin(), memory.end());
          out.insert(out.end(), c.begin(), c.end());
          out.push_back(g729a::open_loop_pitch(buffer.data() + 143, c));
          return out;
        },
        "weighted_speech_and_correlations");
  }
}

TEST(SimdPaths, ClosedLoopPitchOverEveryRangeShape) {
  const std::array<std::array<int, 2>, 6> ranges = {
      {{20, 26}, {20, 29}, {60, 66}, {60, 69}, {137, 143}, {134, 143}}};
  for (unsigned seed = 0; seed < 4; ++seed) {
    const auto history = varied_signal(234, seed);
    const auto x = varied_signal(40, seed + 10);
    const auto h = varied_signal(40, seed + 20, 1.0);
    for (const auto& r : ranges) {
      for (int offset : {0, 40}) {
        expect_every_path_matches_scalar(
            [&] {
              std::vector<double> exc(history);
              int fraction = 7;
              const int t0 = g729a::closed_loop_pitch_search(
                  exc.data() + 154 + offset, x.data(), h.data(), r[0], r[1], offset, &fraction);
              exc.push_back(t0);
              exc.push_back(fraction);
              return exc;
            },
            "closed_loop_pitch_search");
      }
    }
  }
}

TEST(SimdPaths, LspQuantizerBothModes) {
  for (unsigned seed = 0; seed < 40; ++seed) {
    // Increasing LSFs with random spacing, some closer than the weight limit.
    const auto jitter = varied_signal(10, seed, 0.1);
    std::array<double, 10> lsp;
    for (int i = 0; i < 10; ++i) lsp[i] = std::cos(0.28 * (i + 1) + 0.5 * jitter[i] / 3.0);
    const auto mem = varied_signal(40, seed + 500, 0.3);
    g729a::LsfMaMemory memory;
    for (int k = 0; k < 4; ++k) {
      for (int j = 0; j < 10; ++j) memory[k][j] = 0.28 * (j + 1) + mem[10 * k + j];
    }
    expect_every_path_matches_scalar(
        [&] {
          g729a::LsfMaMemory m = memory;
          std::array<double, 10> q;
          std::int32_t slot1 = -1;
          std::int32_t slot2 = -1;
          g729a::lsp_quantize(lsp, m, q, &slot1, &slot2);
          std::vector<double> out(q.begin(), q.end());
          for (const auto& row : m) out.insert(out.end(), row.begin(), row.end());
          out.push_back(slot1);
          out.push_back(slot2);
          return out;
        },
        "lsp_quantize");
  }
}

TEST(SimdPaths, AlgebraicCodebookAtDelaysAroundTheSubframe) {
  for (int t0 : {20, 21, 39, 40, 41, 143}) {
    for (unsigned seed = 0; seed < 6; ++seed) {
      const auto x2 = varied_signal(40, seed + 100 * t0);
      const auto h0 = varied_signal(40, seed + 100 * t0 + 50, 1.0);
      expect_every_path_matches_scalar(
          [&] {
            std::vector<double> h(h0);
            std::vector<double> cw(40);
            std::vector<double> y2(40);
            std::int32_t positions = -1;
            std::int32_t signs = -1;
            g729a::algebraic_codebook_search(x2.data(), h.data(), t0, 0.5, cw.data(), y2.data(),
                                             &positions, &signs);
            std::vector<double> out(h);
            out.insert(out.end(), cw.begin(), cw.end());
            out.insert(out.end(), y2.begin(), y2.end());
            out.push_back(positions);
            out.push_back(signs);
            return out;
          },
          "algebraic_codebook_search");
    }
  }
}

// The input filter with the autocorrelation interleaved with it gives the filtered
// samples, the filter memory and the autocorrelation that the filter and
// then the autocorrelation give (the scalar path runs them one after the
// other): from rest, from a running memory, and with tiny samples that the
// filter flushes to zero in the middle and at the end of the frame.
TEST(SimdPaths, InputFilterWithAutocorrelationMatchesBothApart) {
  for (unsigned seed = 0; seed < 24; ++seed) {
    auto window = varied_signal(240, seed);
    for (int n = 160; n < 240; ++n) window[n] = std::round(window[n] * 10.0);
    if (seed % 3 == 1) {
      for (int n = 190; n < 240; ++n) window[n] = 0.0;  // decays into the flush
    }
    if (seed % 3 == 2) {
      for (int n = 160; n < 200; ++n) window[n] = 0.0;
    }
    g729a::BiquadMemory start{0.0, 0.0, 0.0, 0.0};
    if (seed % 4 == 1) start = {window[0], -window[1], window[2] * 0.5, window[3] * 0.25};
    if (seed % 4 == 3) {
      // From rest, outputs around the flush threshold: some flushed, some not.
      for (int n = 160; n < 240; ++n) window[n] *= 3e-9;
    }
    expect_every_path_matches_scalar(
        [&] {
          std::vector<double> speech(window);
          g729a::BiquadMemory memory = start;
          std::vector<double> r(11);
          g729a::filtered_window_autocorrelation(memory, std::span<double, 240>(speech.data(), 240),
                                                 std::span<double, 11>(r.data(), 11));
          std::vector<double> out(speech);
          out.insert(out.end(), r.begin(), r.end());
          out.insert(out.end(), memory.begin(), memory.end());
          return out;
        },
        "filtered_window_autocorrelation");
  }
}

// The frame's four starting syntheses side by side give what each gives
// alone, on every path: the weighted speech (and its flushed memory), both
// impulse responses and the first target.
TEST(SimdPaths, FrameStartSynthesesMatchTheirParts) {
  for (unsigned seed = 0; seed < 6; ++seed) {
    const auto res = varied_signal(40, seed + 600);
    const auto mem = varied_signal(20, seed + 700);
    std::array<g729a::LpVector, 2> ap;
    for (int s = 0; s < 2; ++s) {
      const auto coef = varied_signal(10, seed + 800 + s, 0.3);
      ap[s][0] = 1.0;
      for (int k = 1; k <= 10; ++k) ap[s][k] = coef[k - 1] / (k + 1);
    }
    std::array<double, 10> target_memory;
    std::array<double, 10> wsp_memory;
    for (int k = 0; k < 10; ++k) {
      target_memory[k] = mem[k];
      wsp_memory[k] = seed % 2 ? mem[10 + k] : mem[10 + k] * 1e-6;  // some flushed
    }
    std::array<double, 10> wsp_memory_apart = wsp_memory;
    std::array<double, 40> wsp_apart, h0_apart, h1_apart, x0_apart;
    g729a::weighted_speech(res.data(), ap[0], wsp_memory_apart, wsp_apart.data());
    g729a::impulse_response(ap[0], h0_apart.data());
    g729a::impulse_response(ap[1], h1_apart.data());
    g729a::weighted_synthesis(res.data(), ap[0], target_memory, x0_apart.data());
    g729a::LpVector c0;
    g729a::weighted_speech_filter(ap[0], c0);
    expect_every_path_matches_scalar(
        [&] {
          std::array<double, 10> m = wsp_memory;
          std::array<double, 40> wsp, h0, h1, x0;
          g729a::frame_start_syntheses(c0, ap, res.data(), target_memory, m, wsp.data(), h0.data(),
                                       h1.data(), x0.data());
          EXPECT_EQ(m, wsp_memory_apart) << seed;
          EXPECT_EQ(wsp, wsp_apart) << seed;
          EXPECT_EQ(h0, h0_apart) << seed;
          EXPECT_EQ(h1, h1_apart) << seed;
          EXPECT_EQ(x0, x0_apart) << seed;
          std::vector<double> out(m.begin(), m.end());
          for (const auto* v : {&wsp, &h0, &h1, &x0}) out.insert(out.end(), v->begin(), v->end());
          return out;
        },
        "frame_start_syntheses");
  }
}

// The synthesis with the correlation rows interleaved with it gives what the two give
// apart, on every path: y1 as weighted_synthesis from zero memory, the rows
// as response_correlations.
TEST(SimdPaths, SynthesisWithCorrelationsMatchesBothApart) {
  for (unsigned seed = 0; seed < 8; ++seed) {
    const auto x = varied_signal(40, seed + 300);
    const auto h = varied_signal(40, seed + 400, 1.0);
    const auto coef = varied_signal(10, seed + 500, 0.3);
    g729a::LpVector ap;
    ap[0] = 1.0;
    for (int k = 1; k <= 10; ++k) ap[k] = coef[k - 1] / k;
    // Zero memory, as the encoder passes it, and past outputs.
    std::array<double, 10> memory{};
    if (seed % 2 == 1) {
      const auto past = varied_signal(10, seed + 550);
      for (int k = 0; k < 10; ++k) memory[k] = past[k];
    }
    std::array<double, 40> y_apart;
    g729a::weighted_synthesis(x.data(), ap, memory, y_apart.data());
    // Rows 0..39, the eight positions of each track.
    auto entries = [](const g729a::ResponseCorrelations& c) {
      std::vector<double> v;
      for (int i = 0; i < 40; ++i) {
        for (const auto& track : c.row[i]) v.insert(v.end(), track, track + 8);
      }
      return v;
    };
    g729a::ResponseCorrelations c_apart;
    g729a::response_correlations(h.data(), c_apart);
    expect_every_path_matches_scalar(
        [&] {
          // Poisoned, so that an entry left unwritten cannot pass for one
          // an earlier call left on the stack.
          std::array<double, 40> y;
          g729a::ResponseCorrelations c;
          std::memset(y.data(), 0xff, sizeof y);
          std::memset(&c, 0xff, sizeof c);
          g729a::synthesis_and_correlations(ap, x.data(), h.data(), memory, y.data(), c);
          EXPECT_EQ(std::memcmp(y.data(), y_apart.data(), sizeof y), 0) << seed;
          EXPECT_TRUE(testsupport::same_bits(entries(c), entries(c_apart))) << seed;
          std::vector<double> out(y.begin(), y.end());
          const auto rows = entries(c);
          out.insert(out.end(), rows.begin(), rows.end());
          return out;
        },
        "synthesis_and_correlations");
  }
}

// Targets whose candidates tie, rise or fall along the track, so that the
// best changes in every lane of a group, in none, or only on exact ties
// (which never win).
TEST(SimdPaths, AlgebraicCodebookWinnersInEveryLane) {
  std::vector<std::vector<double>> targets;
  targets.push_back(std::vector<double>(40, 1.0));  // all tie
  targets.push_back(std::vector<double>(40, 0.0));  // all zero
  std::vector<double> rising(40), falling(40), alternating(40), ulps(40, 1.0);
  for (int n = 0; n < 40; ++n) {
    rising[n] = 1.0 + n;
    falling[n] = 40.0 - n;
    alternating[n] = n % 2 ? -(1.0 + n) : 1.0 + n;
    ulps[n] = std::nextafter(1.0, 2.0 + n % 3);
    if (n % 5 == 0) ulps[n] = std::nextafter(ulps[n], 3.0);
  }
  targets.push_back(rising);
  targets.push_back(falling);
  targets.push_back(alternating);
  targets.push_back(ulps);
  std::vector<double> impulse_h(40, 0.0);
  impulse_h[0] = 1.0;
  const std::vector<double> impulse = impulse_h;
  const auto decaying = varied_signal(40, 77, 1.0);
  for (const auto& x2 : targets) {
    for (const std::vector<double>* h0 : {&impulse, &decaying}) {
      expect_every_path_matches_scalar(
          [&] {
            std::vector<double> h(*h0);
            std::vector<double> cw(40);
            std::vector<double> y2(40);
            std::int32_t positions = -1;
            std::int32_t signs = -1;
            g729a::algebraic_codebook_search(x2.data(), h.data(), 60, 0.2, cw.data(), y2.data(),
                                             &positions, &signs);
            std::vector<double> out(cw);
            out.insert(out.end(), y2.begin(), y2.end());
            out.push_back(positions);
            out.push_back(signs);
            return out;
          },
          "algebraic_codebook_search");
    }
  }
}

}  // namespace
