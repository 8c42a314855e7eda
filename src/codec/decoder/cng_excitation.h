// Random excitation for comfort-noise frames: a random adaptive-codebook
// part, scaled Gaussian noise and four random pulses that bring each
// subframe to the target energy.
#pragma once

#include <array>
#include <cstdint>

namespace g729a {

// One step of the 16-bit linear congruential generator. inout: seed.
// Returns the new seed.
std::int16_t cng_random(std::int16_t& seed);

// Twelve generator outputs summed, shifted down by 7 and scaled by 2^-9.
// inout: seed.
double cng_gaussian(std::int16_t& seed);

// The random choices of one subframe, drawn from three generator outputs.
struct CngDraw {
  int delay;     // 40..103
  int fraction;  // -1, 0 or +1 thirds
  std::array<int, 4> position;
  std::array<double, 4> sign;
  double gain;  // adaptive part, 0 .. just under 0.5
};

// in: r1, r2, r3 (consecutive generator outputs).
CngDraw cng_draw(int r1, int r2, int r3);

// Adds four pulses of the common amplitude that brings the subframe to the
// energy 40 G^2; when no real amplitude exists e is first replaced by g.
// in: E (energy of e), g, draw, G; inout: e (one subframe).
void cng_add_pulses(double* e, double E, const std::array<double, 40>& g, const CngDraw& draw,
                    double G);

// Scales g by (G x 3.16227766) / sqrt(Eg), to an energy of about 10 G^2.
// An all-zero g has no direction to scale and is left at zero.
// inout: g.
void cng_scale_gaussian(std::array<double, 40>& g, double G);

struct PendingExcitation;

// in: G > 0; inout: seed, exc (the frame's first sample with at least 113
// past samples in front of it; writes exc[0..39], and exc[40..79] unless
// `second` is given, which then receives what the second subframe needs to
// be formed there later); out: *second.
void comfort_noise_excitation(double* exc, std::int16_t& seed, double G,
                              PendingExcitation* second = nullptr);

}  // namespace g729a
