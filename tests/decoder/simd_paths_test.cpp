// Each vector kernel of the decoder against the scalar path, bit for bit.
#include "support/simd_paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "codec/common/lp_filter.h"
#include "codec/decoder/cng_excitation.h"
#include "codec/decoder/output_stage.h"
#include "codec/decoder/postfilter.h"
#include "codec/decoder/schedule.h"
#include "codec/reference/decoder_stages.h"
#include "codec/simd/lanes.h"
#include "g729a/codec.h"

namespace {

using testsupport::expect_every_path_matches_scalar;
using testsupport::varied_signal;

TEST(SimdPaths, PitchPostfilterAtEveryDelayRange) {
  for (int T : {19, 20, 40, 139, 140, 141, 143}) {
    for (unsigned seed = 0; seed < 5; ++seed) {
      const auto r = varied_signal(183, seed + 10 * T);
      expect_every_path_matches_scalar(
          [&] {
            g729a::Subframe p;
            g729a::pitch_postfilter(r.data() + 143, T, p);
            return std::vector<double>(p.begin(), p.end());
          },
          "pitch_postfilter");
    }
  }
}

TEST(SimdPaths, BothTiltFactorsTogetherEqualEachAlone) {
  for (unsigned seed = 0; seed < 20; ++seed) {
    std::array<g729a::LpVector, 2> A;
    for (int s = 0; s < 2; ++s) {
      const auto v = varied_signal(11, seed * 2 + s, 0.6);
      A[s][0] = 1.0;
      for (int k = 1; k < 11; ++k) A[s][k] = v[k];
    }
    expect_every_path_matches_scalar(
        [&] {
          std::array<g729a::PostfilterFilters, 2> f;
          g729a::postfilter_filters(A, nullptr, f);
          // With a synthesis run interleaved with the responses: the same filters, and
          // the run as lp_synthesis gives it alone.
          const auto x = varied_signal(50, seed + 90);
          std::vector<double> interleaved_y(x), alone_y(x);
          const g729a::SynthesisRun interleaved = {&A[0], x.data() + 10, interleaved_y.data() + 10};
          std::array<g729a::PostfilterFilters, 2> f_interleaved;
          g729a::postfilter_filters(A, &interleaved, f_interleaved);
          g729a::lp_synthesis(A[0], x.data() + 10, alone_y.data() + 10, 40);
          EXPECT_TRUE(testsupport::same_bits(interleaved_y, alone_y));
          for (int s = 0; s < 2; ++s) {
            EXPECT_EQ(f_interleaved[s].tilt, f[s].tilt);
            EXPECT_EQ(f_interleaved[s].Ad, f[s].Ad);
          }
          std::vector<double> out;
          for (int s = 0; s < 2; ++s) {
            EXPECT_EQ(f[s].tilt, g729a::tilt_factor(f[s].An, f[s].Ad)) << "subframe " << s;
            out.insert(out.end(), f[s].An.begin(), f[s].An.end());
            out.insert(out.end(), f[s].Ad.begin(), f[s].Ad.end());
            out.push_back(f[s].tilt);
          }
          return out;
        },
        "postfilter_filters");
  }
}

// A decoder state with every buffer the post-filter's front reads filled,
// and LP vectors of the two subframes.
struct FrontCase {
  g729a::DecoderState state;
  std::array<g729a::LpVector, 2> A;
  std::vector<double> x0, x1;  // synthesis input of a subframe, post-filter input
};

FrontCase front_case(unsigned seed) {
  FrontCase c;
  g729a::decoder_init(c.state);
  const auto syn = varied_signal(c.state.synthesis_buffer.size(), seed + 1);
  const auto res = varied_signal(c.state.residual_buffer.size(), seed + 2);
  std::copy(syn.begin(), syn.end(), c.state.synthesis_buffer.begin());
  std::copy(res.begin(), res.end(), c.state.residual_buffer.begin());
  const auto mem = varied_signal(10, seed + 3);
  std::copy(mem.begin(), mem.end(), c.state.synthesis_memory.begin());
  std::copy(mem.begin(), mem.end(), c.state.postfilter_memory.begin());
  c.state.tilt_memory = 0.25 * mem[3];
  for (int s = 0; s < 2; ++s) {
    const auto v = varied_signal(11, seed * 2 + s + 40, 0.3);
    c.A[s][0] = 1.0;
    for (int k = 1; k < 11; ++k) c.A[s][k] = v[k] * std::pow(0.8, k);
  }
  c.x0 = varied_signal(40, seed + 4);
  c.x1 = varied_signal(40, seed + 5);
  if (seed % 5 == 4) {  // a silent subframe: every correlation and energy ties
    std::fill(c.x0.begin(), c.x0.end(), 0.0);
    std::fill(c.state.synthesis_buffer.begin(), c.state.synthesis_buffer.end(), 0.0);
    std::fill(c.state.residual_buffer.begin(), c.state.residual_buffer.end(), 0.0);
    std::fill(c.state.synthesis_memory.begin(), c.state.synthesis_memory.end(), 0.0);
  }
  return c;
}

// Everything of the state and the stage a front leaves.
std::vector<double> front_result(const g729a::DecoderState& s, const g729a::PostfilterStage& stage,
                                 const double* y0, const double* y1) {
  std::vector<double> out(s.synthesis_buffer.begin(), s.synthesis_buffer.end());
  out.insert(out.end(), s.residual_buffer.begin(), s.residual_buffer.end());
  out.push_back(s.tilt_memory);
  out.insert(out.end(), stage.Ad.begin(), stage.Ad.end());
  out.insert(out.end(), stage.p.begin(), stage.p.end());
  out.insert(out.end(), y0, y0 + 40);
  if (y1 != nullptr) out.insert(out.end(), y1, y1 + 40);
  return out;
}

// The post-filter fronts formed interleaved with the syntheses give what the
// syntheses and then the fronts give, for speech (pitch post-filter at
// delays across the range, its clamped end included) and comfort noise.
// Given the second subframe's pending excitation (delays and fractions
// across the range), the first synthesis also forms it, as the adaptive
// vector and the weighted sum give it apart.
TEST(SimdPaths, PostfilterFrontsWithTheSynthesesEqualOneAfterTheOther) {
  constexpr int kHistory = g729a::kExcitationHistory;
  for (int T : {20, 21, 40, 77, 139, 140, 141, 143}) {
    for (unsigned seed = 0; seed < 5; ++seed) {
      for (auto kind : {g729a::FrameKind::Speech, g729a::FrameKind::Sid}) {
        const FrontCase c = front_case(seed + 7 * T);
        const int next_T = seed < 2 ? T : 20 + (seed * 37 + T) % 124;
        const int next_f = static_cast<int>(seed % 3) - 1;
        const bool with_next = seed != 3;
        g729a::PendingExcitation next;
        g729a::adaptive_codebook_plan(next_T, next_f, next.plan);
        next.gain_pitch = 0.2 + 0.1 * seed;
        next.gain_code = 3.0 - 0.5 * seed;
        const auto cv = varied_signal(40, seed + 11);
        std::copy(cv.begin(), cv.end(), next.cv.begin());
        std::array<double, kHistory + 80> exc;
        const auto past = varied_signal(kHistory, seed + 12);
        std::copy(past.begin(), past.end(), exc.begin());
        std::copy(c.x0.begin(), c.x0.end(), exc.begin() + kHistory);
        std::copy(c.x1.begin(), c.x1.end(), exc.begin() + kHistory + 40);
        std::array<double, kHistory + 80> apart = exc;
        if (with_next) {
          g729a::adaptive_codebook_vector(apart.data() + kHistory + 40, next_T, next_f);
          double* x1 = apart.data() + kHistory + 40;
          for (int n = 0; n < 40; ++n) x1[n] = next.gain_pitch * x1[n] + next.gain_code * cv[n];
        }
        expect_every_path_matches_scalar(
            [&] {
              g729a::DecoderState s = c.state;
              std::array<double, 50> y{};
              for (int i = 0; i < 10; ++i) y[i] = s.synthesis_memory[i];
              std::array<g729a::PostfilterFilters, 2> f;
              g729a::PostfilterStage first;
              std::array<double, kHistory + 80> x = exc;
              g729a::synthesis_1_with_excitation_2_and_postfilter_1_pitch(
                  c.A, x.data() + kHistory, kind, T, with_next ? &next : nullptr, s, y.data() + 10,
                  f, first);
              EXPECT_EQ(x, apart) << "next delay " << next_T << " fraction " << next_f;
              auto out = front_result(s, first, y.data() + 10, nullptr);
              out.insert(out.end(), x.begin() + kHistory + 40, x.end());
              for (int k = 0; k < 2; ++k) out.push_back(f[k].tilt);
              // The second subframe, its synthesis interleaved with the first's
              // post-filter synthesis.
              std::array<double, 50> y0{}, y1{};
              for (int i = 0; i < 10; ++i) y0[i] = y[40 + i], y1[i] = s.postfilter_memory[i];
              g729a::PostfilterStage second;
              g729a::GainEnergies energies;
              g729a::synthesis_2_with_postfilter_1_synthesis(
                  c.A[1], x.data() + kHistory + 40, first.Ad, first.p.data(), f[1], kind, T, s,
                  y0.data() + 10, y1.data() + 10, second, energies);
              const auto more = front_result(s, second, y0.data() + 10, y1.data() + 10);
              out.insert(out.end(), more.begin(), more.end());
              const g729a::GainEnergies apart =
                  g729a::gain_energies(g729a::SubframeIn(s.synthesis_buffer.data() + 10, 40),
                                       g729a::SubframeIn(y1.data() + 10, 40));
              EXPECT_EQ(std::bit_cast<std::uint64_t>(energies.out),
                        std::bit_cast<std::uint64_t>(apart.out));
              EXPECT_EQ(std::bit_cast<std::uint64_t>(energies.in),
                        std::bit_cast<std::uint64_t>(apart.in));
              out.push_back(energies.out);
              out.push_back(energies.in);
              return out;
            },
            "postfilter fronts");
      }
    }
  }
}

TEST(SimdPaths, AdaptiveGainControlIncludingSilence) {
  for (unsigned seed = 0; seed < 10; ++seed) {
    auto x = varied_signal(40, seed);
    auto y = varied_signal(40, seed + 50);
    if (seed == 1) x.assign(40, 0.0);
    if (seed == 2) y.assign(40, 0.0);
    expect_every_path_matches_scalar(
        [&] {
          g729a::Subframe out;
          double gain = 0.7;
          g729a::adaptive_gain_control(g729a::SubframeIn(x.data(), 40),
                                       g729a::SubframeIn(y.data(), 40), gain,
                                       g729a::SubframeOut(out.data(), 40));
          std::vector<double> v(out.begin(), out.end());
          v.push_back(gain);
          return v;
        },
        "adaptive_gain_control");
  }
}

TEST(SimdPaths, OutputStageAtTheConversionEdges) {
  std::vector<std::vector<double>> inputs;
  for (unsigned seed = 0; seed < 5; ++seed) inputs.push_back(varied_signal(80, seed, 20000.0));
  std::vector<double> edges = {0.5,
                               -0.5,
                               0.49,
                               32766.5,
                               -32767.5,
                               1e300,
                               -1e300,
                               std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN()};
  edges.resize(80, 0.0);
  inputs.push_back(edges);
  for (const auto& v : inputs) {
    expect_every_path_matches_scalar(
        [&] {
          std::array<double, 4> memory = {0.0, 0.0, 0.0, 0.0};
          std::array<std::int16_t, 80> pcm;
          g729a::output_stage(std::span<const double, 80>(v.data(), 80), memory, pcm);
          std::vector<double> out(pcm.begin(), pcm.end());
          out.insert(out.end(), memory.begin(), memory.end());
          return out;
        },
        "output_stage");
  }
}

TEST(SimdPaths, ToPcmAtEveryConversionEdge) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> w = {
      0.5,       -0.5,     0.49,     -0.49,        0.0,          -0.0,          32766.49,
      32766.5,   32767.0,  32767.99, 32768.0,      -32767.49,    -32767.5,      -32768.0,
      -32768.49, -32768.5, -32769.0, 2147483647.0, 2147483648.0, -2147483648.0, -2147483649.0,
      1e300,     -1e300,   inf,      -inf,         nan,          -nan,          4.9e-324,
      -4.9e-324, 1.5,      -1.5,     2.5,          -2.5};
  const auto rest = varied_signal(80 - w.size(), 7, 40000.0);
  w.insert(w.end(), rest.begin(), rest.end());
  for (auto path : {g729a::SimdPath::Scalar, g729a::SimdPath::Sse2, g729a::SimdPath::Avx2}) {
    testsupport::ForcedPath forced(path);
    if (forced.active() != path) continue;
    std::array<std::int16_t, 80> pcm;
    g729a::to_pcm(std::span<const double, 80>(w.data(), 80), pcm);
    for (int n = 0; n < 80; ++n) {
      EXPECT_EQ(pcm[n], g729a::to_pcm_sample(w[n]))
          << g729a::simd_path_name(path) << " at " << w[n];
    }
  }
}

TEST(SimdPaths, TiltCompensationReadsOnlyItsInput) {
  for (unsigned seed = 0; seed < 10; ++seed) {
    const auto p = varied_signal(40, seed + 300);
    const double k = seed == 0 ? 0.0 : 0.8 * std::sin(seed);
    expect_every_path_matches_scalar(
        [&] {
          std::vector<double> out(41);
          double memory = 123.25;
          g729a::tilt_compensation(k, g729a::SubframeIn(p.data(), 40), memory,
                                   g729a::SubframeOut(out.data(), 40));
          out[40] = memory;
          return out;
        },
        "tilt_compensation");
  }
}

TEST(SimdPaths, WeightedSumInPlaceAndApart) {
  for (unsigned seed = 0; seed < 10; ++seed) {
    const auto x = varied_signal(40, seed + 400);
    const auto y = varied_signal(40, seed + 500);
    const double a = 1.0 - 0.1 * seed;
    const double b = 0.37 * seed;
    expect_every_path_matches_scalar(
        [&] {
          std::vector<double> apart(40);
          g729a::weighted_sum(a, x.data(), b, y.data(), apart.data());
          std::vector<double> in_place(x);
          g729a::weighted_sum(a, in_place.data(), b, y.data(), in_place.data());
          EXPECT_TRUE(testsupport::same_bits(apart, in_place));
          return apart;
        },
        "weighted_sum");
  }
}

TEST(SimdPaths, OutputFilterWithSynthesisEqualsOneAfterTheOther) {
  for (unsigned seed = 0; seed < 10; ++seed) {
    const auto av = varied_signal(11, seed + 1100, 0.6);
    g729a::LpVector a;
    a[0] = 1.0;
    for (int k = 1; k < 11; ++k) a[k] = av[k];
    const auto x = varied_signal(50, seed + 1200);           // memory, then input
    const auto v = varied_signal(80, seed + 1300, 40000.0);  // post-filtered frame
    const auto m = varied_signal(4, seed + 1400);
    expect_every_path_matches_scalar(
        [&] {
          std::vector<double> y_apart(x), y_interleaved(x);
          std::array<double, 4> memory_apart = {m[0], m[1], m[2], m[3]};
          std::array<double, 4> memory_interleaved = memory_apart;
          std::array<std::int16_t, 80> pcm_apart, pcm_interleaved;
          g729a::lp_synthesis(a, x.data() + 10, y_apart.data() + 10, 40);
          g729a::output_stage(std::span<const double, 80>(v.data(), 80), memory_apart, pcm_apart);
          std::array<double, 80> w;
          g729a::synthesis_with_output_filter(a, x.data() + 10, y_interleaved.data() + 10, v.data(),
                                              memory_interleaved, w.data());
          g729a::output_stage_finish(std::span<const double, 80>(v.data(), 80), memory_interleaved,
                                     w, pcm_interleaved);
          EXPECT_TRUE(testsupport::same_bits(y_interleaved, y_apart));
          EXPECT_EQ(pcm_interleaved, pcm_apart);
          EXPECT_EQ(memory_interleaved, memory_apart);
          std::vector<double> out(y_interleaved);
          out.insert(out.end(), pcm_interleaved.begin(), pcm_interleaved.end());
          out.insert(out.end(), memory_interleaved.begin(), memory_interleaved.end());
          return out;
        },
        "synthesis_with_output_filter");
  }
}

// The gain control applied inside each half of the output filter gives what
// the gain control and then the filter give: scaled subframes, ones whose
// input is silent (gain towards 0) and ones whose output is silent (passed
// through, the gain restarting at 0), in either half.
TEST(SimdPaths, GainControlInsideTheOutputFilterEqualsOneAfterTheOther) {
  for (unsigned seed = 0; seed < 9; ++seed) {
    std::array<std::vector<double>, 2> x, y;  // synthesis, post-filter output
    for (int s = 0; s < 2; ++s) {
      x[s] = varied_signal(40, seed + 1500 + 10 * s, 2000.0);
      y[s] = varied_signal(40, seed + 1600 + 10 * s, 3000.0);
    }
    if (seed % 3 == 1) x[seed % 2].assign(40, 0.0);
    if (seed % 3 == 2) y[seed % 2].assign(40, 0.0);
    const auto av = varied_signal(11, seed + 1700, 0.6);
    g729a::LpVector a;
    a[0] = 1.0;
    for (int k = 1; k < 11; ++k) a[k] = av[k];
    const auto p = varied_signal(50, seed + 1750);  // memory, then input
    const auto m = varied_signal(4, seed + 1800);
    const double start_gain = 0.25 + 0.1 * seed;
    expect_every_path_matches_scalar(
        [&] {
          std::array<double, 4> memory_apart = {m[0], m[1], m[2], m[3]};
          std::array<double, 4> memory_inside = memory_apart;
          std::vector<double> syn_apart(p), syn_inside(p);
          std::array<double, 80> post, w_apart, w_inside;
          std::array<std::int16_t, 80> pcm_apart, pcm_inside;

          double gain_apart = start_gain;
          g729a::adaptive_gain_control(g729a::SubframeIn(x[0].data(), 40),
                                       g729a::SubframeIn(y[0].data(), 40), gain_apart,
                                       g729a::SubframeOut(post.data(), 40));
          g729a::synthesis_with_output_filter(a, p.data() + 10, syn_apart.data() + 10, post.data(),
                                              memory_apart, w_apart.data());
          g729a::adaptive_gain_control(g729a::SubframeIn(x[1].data(), 40),
                                       g729a::SubframeIn(y[1].data(), 40), gain_apart,
                                       g729a::SubframeOut(post.data() + 40, 40));
          g729a::output_stage_finish(std::span<const double, 80>(post.data(), 80), memory_apart,
                                     w_apart, pcm_apart);

          double gain_inside = start_gain;
          const g729a::GainControl first = g729a::gain_control_start(
              g729a::SubframeIn(x[0].data(), 40), g729a::SubframeIn(y[0].data(), 40), gain_inside);
          g729a::GainEnergies energies;
          g729a::postfilter_2_synthesis_with_output_filter_1(
              a, p.data() + 10, syn_inside.data() + 10, first, y[0].data(), x[1].data(),
              gain_inside, memory_inside, w_inside.data(), energies);
          // The energies formed alongside: those of the synthesis and of x[1].
          const g729a::GainEnergies apart = g729a::gain_energies(
              g729a::SubframeIn(x[1].data(), 40), g729a::SubframeIn(syn_apart.data() + 10, 40));
          EXPECT_EQ(std::bit_cast<std::uint64_t>(energies.out),
                    std::bit_cast<std::uint64_t>(apart.out))
              << seed;
          EXPECT_EQ(std::bit_cast<std::uint64_t>(energies.in),
                    std::bit_cast<std::uint64_t>(apart.in))
              << seed;
          const g729a::GainControl second = g729a::gain_control_start(
              g729a::SubframeIn(x[1].data(), 40), g729a::SubframeIn(y[1].data(), 40), gain_inside);
          g729a::output_stage_finish_controlled(second, y[1].data(), gain_inside, memory_inside,
                                                w_inside, pcm_inside);

          EXPECT_TRUE(testsupport::same_bits(syn_inside, syn_apart)) << seed;
          EXPECT_EQ(pcm_inside, pcm_apart) << seed;
          EXPECT_EQ(memory_inside, memory_apart) << seed;
          EXPECT_EQ(std::bit_cast<std::uint64_t>(gain_inside),
                    std::bit_cast<std::uint64_t>(gain_apart))
              << seed;
          std::vector<double> out(syn_inside);
          out.insert(out.end(), pcm_inside.begin(), pcm_inside.end());
          out.insert(out.end(), memory_inside.begin(), memory_inside.end());
          out.push_back(gain_inside);
          return out;
        },
        "gain control inside the output filter");
  }
}

TEST(SimdPaths, ComfortNoiseFromEverySeedRegion) {
  for (int seed : {-32768, -1, 0, 1, 11111, 32767, 4242}) {
    for (double G : {0.502, 7.0, 3000.0}) {
      const auto history = varied_signal(234, static_cast<unsigned>(seed + 40000));
      expect_every_path_matches_scalar(
          [&] {
            std::vector<double> exc(history);
            auto s = static_cast<std::int16_t>(seed);
            g729a::comfort_noise_excitation(exc.data() + 154, s, G);
            exc.push_back(s);
            return exc;
          },
          "comfort_noise_excitation");
    }
  }
}

// A comfort-noise frame's second subframe left pending and formed interleaved with
// the first subframe's synthesis is the excitation formed in place, and
// the synthesis is the same; loud histories make the mix overshoot its
// target, so the pulses replace it by the noise alone.
TEST(SimdPaths, ComfortNoiseSecondSubframeBesideTheFirstSynthesis) {
  for (unsigned c_seed = 0; c_seed < 6; ++c_seed) {
    for (double G : {0.502, 7.0, 3000.0}) {
      const FrontCase c = front_case(c_seed + 300);
      const double loudness = c_seed % 2 == 0 ? 1.0 : 1000.0;
      const auto history = varied_signal(g729a::kExcitationHistory, c_seed + 90, loudness);
      const auto seed0 = static_cast<std::int16_t>(11111 + 977 * static_cast<int>(c_seed));
      std::vector<double> in_place(history);
      in_place.resize(history.size() + 80);
      std::int16_t seed_in_place = seed0;
      g729a::comfort_noise_excitation(in_place.data() + g729a::kExcitationHistory, seed_in_place,
                                      G);
      expect_every_path_matches_scalar(
          [&] {
            std::vector<double> x(history);
            x.resize(history.size() + 80);
            std::int16_t seed = seed0;
            g729a::PendingExcitation second;
            double* exc = x.data() + g729a::kExcitationHistory;
            g729a::comfort_noise_excitation(exc, seed, G, &second);
            EXPECT_EQ(seed, seed_in_place);
            std::array<double, 50> y{}, y_in_place{};
            std::array<g729a::PostfilterFilters, 2> f, f_in_place;
            g729a::PostfilterStage stage, stage_in_place;
            g729a::DecoderState s = c.state;
            g729a::synthesis_1_with_excitation_2_and_postfilter_1_pitch(
                c.A, exc, g729a::FrameKind::Sid, 0, &second, s, y.data() + 10, f, stage);
            EXPECT_TRUE(testsupport::same_bits(x, in_place)) << c_seed << " G " << G;
            std::vector<double> copy(in_place);
            g729a::DecoderState s_in_place = c.state;
            g729a::synthesis_1_with_excitation_2_and_postfilter_1_pitch(
                c.A, copy.data() + g729a::kExcitationHistory, g729a::FrameKind::Sid, 0, nullptr,
                s_in_place, y_in_place.data() + 10, f_in_place, stage_in_place);
            EXPECT_TRUE(testsupport::same_bits(
                front_result(s, stage, y.data() + 10, nullptr),
                front_result(s_in_place, stage_in_place, y_in_place.data() + 10, nullptr)))
                << c_seed << " G " << G;
            auto out = front_result(s, stage, y.data() + 10, nullptr);
            out.insert(out.end(), x.begin(), x.end());
            return out;
          },
          "comfort noise interleaved with the first synthesis");
    }
  }
}

}  // namespace
