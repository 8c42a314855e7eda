#include "codec/decoder/cng_excitation.h"

#include <cmath>

#include "codec/common/adaptive_codebook.h"
#include "codec/decoder/excitation.h"
#include "codec/simd/lanes.h"
#include "codec/simd/simd.h"

namespace g729a {
namespace {

constexpr int kGeneratorMultiplier = 31821;
constexpr int kGeneratorIncrement = 13849;
constexpr double kGaussianScale = 0.001953125;
constexpr double kAdaptiveGainScale = 6.103515625e-05;
constexpr double kNoiseNormalization = 3.16227766;
constexpr double kPulseLimit = 5000.0;

// Bit 1 gives +1, bit 0 gives -1.
double pulse_sign(int bit) {
  return 2.0 * bit - 1.0;
}

// Correlation of the four signed pulses with e, grouped as the amplitude
// equation was derived.
double pulse_correlation(const double* e, const CngDraw& d) {
  const auto& p = d.position;
  const auto& s = d.sign;
  return s[3] * e[p[3]] + (s[0] * e[p[0]] + s[1] * e[p[1]] + s[2] * e[p[2]]);
}

// Jump-ahead constants: the j-th output after seed s is A_j s + C_j modulo
// 2^16, so the outputs of Gaussian draws are formed at once in 16-bit
// lanes, exactly as the step-by-step recursion wraps them. Row k holds
// steps 12k + 1 .. 12k + 12 (draw k of four) in lanes 0..11; lanes 12..15
// stay 0 and add nothing to a draw's sum.
struct JumpAhead {
  std::int16_t a[4][16];
  std::int16_t c[4][16];
};

constexpr JumpAhead make_jump_ahead() {
  JumpAhead j{};
  std::uint32_t a = 1;
  std::uint32_t c = 0;
  for (int k = 0; k < 48; ++k) {
    a = (a * kGeneratorMultiplier) & 0xffff;
    c = (c * kGeneratorMultiplier + kGeneratorIncrement) & 0xffff;
    j.a[k / 12][k % 12] = static_cast<std::int16_t>(a);
    j.c[k / 12][k % 12] = static_cast<std::int16_t>(c);
  }
  return j;
}

constexpr JumpAhead kJumpAhead = make_jump_ahead();

#if defined(G729A_HAVE_SSE2)
// cng_gaussian, the twelve steps side by side; the integer sum is exact in
// any order.
double cng_gaussian_sse2(std::int16_t& seed) {
  const __m128i s = _mm_set1_epi16(seed);
  const __m128i lo = _mm_add_epi16(
      _mm_mullo_epi16(s, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kJumpAhead.a[0]))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(kJumpAhead.c[0])));
  const __m128i hi = _mm_add_epi16(
      _mm_mullo_epi16(s, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kJumpAhead.a[0] + 8))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(kJumpAhead.c[0] + 8)));
  const __m128i ones = _mm_set1_epi16(1);
  __m128i sum = _mm_add_epi32(_mm_madd_epi16(lo, ones), _mm_madd_epi16(hi, ones));
  sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0x4E));
  sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0xB1));
  seed = static_cast<std::int16_t>(_mm_extract_epi16(hi, 3));
  const std::int16_t shifted = static_cast<std::int16_t>(_mm_cvtsi128_si32(sum) >> 7);
  return shifted * kGaussianScale;
}
#endif

#if defined(G729A_HAVE_AVX2)
// Forty cng_gaussian draws, four at a time: the four draws' 48 steps from
// one seed, each draw's twelve summed apart (exact integer sums).
G729A_AVX2 void cng_gaussians_avx2(std::int16_t& seed, std::array<double, 40>& g) {
  const __m256i ones = _mm256_set1_epi16(1);
  const __m256d scale = _mm256_set1_pd(kGaussianScale);
  for (int i = 0; i < 40; i += 4) {
    const __m256i s = _mm256_set1_epi16(seed);
    __m256i steps[4];
    __m256i sums[4];
    for (int k = 0; k < 4; ++k) {
      steps[k] = _mm256_add_epi16(
          _mm256_mullo_epi16(s,
                             _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kJumpAhead.a[k]))),
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kJumpAhead.c[k])));
      sums[k] = _mm256_madd_epi16(steps[k], ones);
    }
    const __m256i h =
        _mm256_hadd_epi32(_mm256_hadd_epi32(sums[0], sums[1]), _mm256_hadd_epi32(sums[2], sums[3]));
    const __m128i total = _mm_add_epi32(_mm256_castsi256_si128(h), _mm256_extracti128_si256(h, 1));
    // |sum| < 2^19, so sum >> 7 fits 16 bits and the narrowing changes nothing.
    const __m256d v = _mm256_cvtepi32_pd(_mm_srai_epi32(total, 7));
    _mm256_storeu_pd(g.data() + i, _mm256_mul_pd(v, scale));
    seed = static_cast<std::int16_t>(_mm256_extract_epi16(steps[3], 11));
  }
}
#endif

// A subframe's random choices and its scaled noise. inout: seed; in: G;
// out: draw, g.
void cng_noise(std::int16_t& seed, double G, CngDraw& draw, std::array<double, 40>& g) {
  const int r1 = cng_random(seed);
  const int r2 = cng_random(seed);
  const int r3 = cng_random(seed);
  draw = cng_draw(r1, r2, r3);

#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) {
    cng_gaussians_avx2(seed, g);
  } else
#endif
#if defined(G729A_HAVE_SSE2)
      if (simd_path() != SimdPath::Scalar) {
    for (double& v : g) v = cng_gaussian_sse2(seed);
  } else {
    for (double& v : g) v = cng_gaussian(seed);
  }
#else
  for (double& v : g) v = cng_gaussian(seed);
#endif
  cng_scale_gaussian(g, G);
}

// inout: e (one subframe), seed. in: G.
void cng_subframe(double* e, std::int16_t& seed, double G) {
  CngDraw draw;
  std::array<double, 40> g;
  cng_noise(seed, G, draw, g);
  adaptive_codebook_vector(e, draw.delay, draw.fraction);

  weighted_sum(draw.gain, e, 1.0, g.data(), e);  // 1.0 g[n] is g[n] exactly
  const double E = dot_product(0.0, e, e);
  cng_add_pulses(e, E, g, draw, G);
}

}  // namespace

std::int16_t cng_random(std::int16_t& seed) {
  // 32-bit product and sum, wrapped to 16 bits as a C short assignment does.
  const std::int32_t next =
      static_cast<std::int32_t>(seed) * kGeneratorMultiplier + kGeneratorIncrement;
  seed = static_cast<std::int16_t>(next);
  return seed;
}

double cng_gaussian(std::int16_t& seed) {
  std::int32_t sum = 0;
  for (int i = 0; i < 12; ++i) sum += cng_random(seed);
  const std::int16_t shifted = static_cast<std::int16_t>(sum >> 7);
  return shifted * kGaussianScale;
}

CngDraw cng_draw(int r1, int r2, int r3) {
  CngDraw d;
  d.fraction = (r1 & 3) - 1;
  if (d.fraction == 2) d.fraction = 0;
  d.delay = ((r1 >> 2) & 63) + 40;
  d.position[0] = 5 * ((r1 >> 8) & 7);
  d.sign[0] = pulse_sign((r1 >> 11) & 1);
  d.position[1] = 5 * ((r1 >> 12) & 7) + 1;
  d.sign[1] = pulse_sign((r1 >> 15) & 1);
  // Pulse 2 shares track 1 with pulse 1.
  d.position[2] = 5 * (r2 & 7) + 1;
  d.sign[2] = pulse_sign((r2 >> 3) & 1);
  const int m = (r2 >> 4) & 15;
  d.position[3] = 5 * (m >> 1) + 3 + (m & 1);
  d.sign[3] = pulse_sign((r2 >> 8) & 1);
  d.gain = (r3 & 8191) * kAdaptiveGainScale;
  return d;
}

void cng_scale_gaussian(std::array<double, 40>& g, double G) {
  const double Eg = dot_product(0.0, g.data(), g.data());
  // Only an all-zero draw gives Eg = 0; dividing by it would fill the
  // frame with NaNs.
  if (Eg == 0.0) return;
  const double scale = (G * kNoiseNormalization) / std::sqrt(Eg);
  for (double& v : g) v *= scale;
}

void cng_add_pulses(double* e, double E, const std::array<double, 40>& g, const CngDraw& draw,
                    double G) {
  double I = pulse_correlation(e, draw);
  const double K = G * G * 40.0;
  double delta = I * I - 4.0 * (E - K);
  if (delta < 0.0) {
    // The mix alone overshoots the target: drop the adaptive part.
    for (int n = 0; n < 40; ++n) e[n] = g[n];
    I = pulse_correlation(e, draw);
    delta = I * I + 3.0 * K;
  }

  const double root = std::sqrt(delta);
  const double x1 = (root - I) * 0.25;
  const double x2 = (I + root) * (-0.25);
  double a = std::fabs(x1) < std::fabs(x2) ? x1 : x2;
  if (a > kPulseLimit) a = kPulseLimit;
  if (a < -kPulseLimit) a = -kPulseLimit;

  for (int k = 0; k < 4; ++k) e[draw.position[k]] += a * draw.sign[k];
}

void comfort_noise_excitation(double* exc, std::int16_t& seed, double G,
                              PendingExcitation* second) {
  cng_subframe(exc, seed, G);
  if (second == nullptr) {
    cng_subframe(exc + 40, seed, G);
    return;
  }
  // The mix cng_subframe forms, as a pending excitation's gains give it
  // (1.0 g[n] is g[n] exactly), then the pulses.
  cng_noise(seed, G, second->draw, second->cv);
  adaptive_codebook_plan(second->draw.delay, second->draw.fraction, second->plan);
  second->gain_pitch = second->draw.gain;
  second->gain_code = 1.0;
  second->pulses = true;
  second->noise_gain = G;
}

}  // namespace g729a
