// Output high-pass filter and conversion of post-filtered samples to PCM.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace g729a {

// Rounds half away from zero and saturates to 16 bits. Defined for every
// double: NaN gives 0, infinities saturate. in: w.
std::int16_t to_pcm_sample(double w);

// to_pcm_sample on each of a frame's samples, several at once where the
// processor allows. in: w; out: pcm.
void to_pcm(std::span<const double, 80> w, std::span<std::int16_t, 80> pcm);

// in: v (80 post-filtered samples); inout: memory (x1, x2, y1, y2);
// out: pcm[80].
void output_stage(std::span<const double, 80> v, std::array<double, 4>& memory,
                  std::span<std::int16_t, 80> pcm);

}  // namespace g729a
