#include "codec/common/cng_excitation.h"

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

struct Pulse {
  int position;
  double sign;
};

// Bit 1 gives +1, bit 0 gives -1.
double pulse_sign(int bit) {
  return 2.0 * bit - 1.0;
}

// Correlation of the four signed pulses with e, in the order the amplitude
// equation was derived.
double pulse_correlation(const double* e, const std::array<Pulse, 4>& p) {
  return p[3].sign * e[p[3].position] +
         (p[0].sign * e[p[0].position] + p[1].sign * e[p[1].position] +
          p[2].sign * e[p[2].position]);
}

// inout: e (one subframe), seed. in: G.
void cng_subframe(double* e, std::int16_t& seed, double G) {
  const int r1 = cng_random(seed);
  int f = (r1 & 3) - 1;
  if (f == 2) f = 0;
  const int d = ((r1 >> 2) & 63) + 40;
  std::array<Pulse, 4> pulses;
  pulses[0] = {5 * ((r1 >> 8) & 7), pulse_sign((r1 >> 11) & 1)};
  pulses[1] = {5 * ((r1 >> 12) & 7) + 1, pulse_sign((r1 >> 15) & 1)};

  const int r2 = cng_random(seed);
  pulses[2] = {5 * (r2 & 7) + 1, pulse_sign((r2 >> 3) & 1)};
  const int m = (r2 >> 4) & 15;
  pulses[3] = {5 * (m >> 1) + 3 + (m & 1), pulse_sign((r2 >> 8) & 1)};

  const int r3 = cng_random(seed);
  const double gp = (r3 & 8191) * kAdaptiveGainScale;

  std::array<double, 40> g;
  for (double& v : g) v = cng_gaussian(seed);
  cng_scale_gaussian(g, G);

  adaptive_codebook_vector(e, d, f);

  double E = 0.0;
  for (int n = 0; n < 40; ++n) {
    e[n] = gp * e[n] + g[n];
    E += e[n] * e[n];
  }

  double I = pulse_correlation(e, pulses);
  const double K = G * G * 40.0;
  double delta = I * I - 4.0 * (E - K);
  if (delta < 0.0) {
    // The mix alone overshoots the target: drop the adaptive part.
    for (int n = 0; n < 40; ++n) e[n] = g[n];
    I = pulse_correlation(e, pulses);
    delta = I * I + 3.0 * K;
  }

  const double root = std::sqrt(delta);
  const double x1 = (root - I) * 0.25;
  const double x2 = (I + root) * (-0.25);
  double a = std::fabs(x1) < std::fabs(x2) ? x1 : x2;
  if (a > kPulseLimit) a = kPulseLimit;
  if (a < -kPulseLimit) a = -kPulseLimit;

  for (const Pulse& p : pulses) e[p.position] += a * p.sign;
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

void cng_scale_gaussian(std::array<double, 40>& g, double G) {
  double Eg = 0.0;
  for (double v : g) Eg += v * v;
  // Only exact silence gives Eg = 0; dividing by it would turn the frame
  // into NaNs.
  if (Eg == 0.0) return;
  const double scale = (G * kNoiseNormalization) / std::sqrt(Eg);
  for (double& v : g) v *= scale;
}

void comfort_noise_excitation(double* exc, std::int16_t& seed, double G) {
  cng_subframe(exc, seed, G);
  cng_subframe(exc + 40, seed, G);
}

}  // namespace g729a
