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

// Scales g so that its energy becomes 40 G^2 (by (G x 3.16227766) / sqrt(Eg)).
// An all-zero g has no direction to scale and is left at zero.
// inout: g.
void cng_scale_gaussian(std::array<double, 40>& g, double G);

// inout: exc points at the frame's first sample with at least 113 past
// samples in front of it; writes exc[0..79]. inout: seed. in: G > 0.
void comfort_noise_excitation(double* exc, std::int16_t& seed, double G);

}  // namespace g729a
