// Each vector kernel of the decoder against the scalar path, bit for bit.
#include "support/simd_paths.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "codec/decoder/cng_excitation.h"
#include "codec/decoder/output_stage.h"
#include "codec/decoder/postfilter.h"

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
          g729a::postfilter_filters(A, f);
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

TEST(SimdPaths, AdaptiveGainControlIncludingSilence) {
  for (unsigned seed = 0; seed < 10; ++seed) {
    auto x = varied_signal(40, seed);
    auto y = varied_signal(40, seed + 50);
    if (seed == 1) x.assign(40, 0.0);
    if (seed == 2) y.assign(40, 0.0);
    expect_every_path_matches_scalar(
        [&] {
          g729a::Subframe out;
          for (int n = 0; n < 40; ++n) out[n] = y[n];
          double gain = 0.7;
          g729a::adaptive_gain_control(x.data(), out, gain);
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

}  // namespace
