#include "codec/decoder/output_stage.h"

#include <cmath>

#include "codec/common/biquad.h"
#include "codec/common/tables.h"

namespace g729a {

std::int16_t to_pcm_sample(double w) {
  // A NaN would slip past both saturation tests into the integer cast.
  if (std::isnan(w)) return 0;
  w = w >= 0.0 ? w + 0.5 : w - 0.5;
  if (w > 32767.0) return 32767;
  if (w < -32768.0) return -32768;
  return static_cast<std::int16_t>(w);
}

void output_stage(std::span<const double, 80> v, std::array<double, 4>& memory,
                  std::span<std::int16_t, 80> pcm) {
  for (int n = 0; n < kFrameLength; ++n) {
    pcm[n] = to_pcm_sample(biquad_step(output_filter_b, output_filter_a, memory, v[n]));
  }
}

}  // namespace g729a
