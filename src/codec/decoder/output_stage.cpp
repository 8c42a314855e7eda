#include "codec/decoder/output_stage.h"

#include <cmath>

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
  double& x1 = memory[0];
  double& x2 = memory[1];
  double& y1 = memory[2];
  double& y2 = memory[3];
  const double* a = output_filter_a;
  const double* b = output_filter_b;
  for (int n = 0; n < 80; ++n) {
    const double w = (a[1] * y1 + a[2] * y2) + b[0] * v[n] + b[1] * x1 + b[2] * x2;
    x2 = x1;
    x1 = v[n];
    y2 = y1;
    y1 = w;
    pcm[n] = to_pcm_sample(w);
  }
}

}  // namespace g729a
