#include "codec/decoder/cng_excitation.h"

#include <cmath>

#include "codec/common/adaptive_codebook.h"

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

// inout: e (one subframe), seed. in: G.
void cng_subframe(double* e, std::int16_t& seed, double G) {
  const int r1 = cng_random(seed);
  const int r2 = cng_random(seed);
  const int r3 = cng_random(seed);
  const CngDraw draw = cng_draw(r1, r2, r3);

  std::array<double, 40> g;
  for (double& v : g) v = cng_gaussian(seed);
  cng_scale_gaussian(g, G);

  adaptive_codebook_vector(e, draw.delay, draw.fraction);

  double E = 0.0;
  for (int n = 0; n < 40; ++n) {
    e[n] = draw.gain * e[n] + g[n];
    E += e[n] * e[n];
  }
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
  double Eg = 0.0;
  for (double v : g) Eg += v * v;
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

void comfort_noise_excitation(double* exc, std::int16_t& seed, double G) {
  cng_subframe(exc, seed, G);
  cng_subframe(exc + 40, seed, G);
}

}  // namespace g729a
