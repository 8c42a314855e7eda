#include "measures.h"

#include <algorithm>
#include <cmath>

namespace g729tool {

double snr_db(std::span<const std::int16_t> ref, std::span<const std::int16_t> test, int delay) {
  double signal = 0, noise = 0;
  for (std::size_t i = 0; i + delay < test.size() && i < ref.size(); ++i) {
    const double r = ref[i];
    const double e = r - test[i + delay];
    signal += r * r;
    noise += e * e;
  }
  if (noise == 0) return signal == 0 ? 0.0 : 200.0;
  return 10.0 * std::log10(signal / noise);
}

double segmental_snr_db(std::span<const std::int16_t> ref, std::span<const std::int16_t> test,
                        int delay) {
  double total = 0;
  int frames = 0;
  for (std::size_t start = 0; start + 80 <= ref.size() && start + delay + 80 <= test.size();
       start += 80) {
    double signal = 0, noise = 0;
    for (std::size_t i = start; i < start + 80; ++i) {
      const double r = ref[i];
      const double e = r - test[i + delay];
      signal += r * r;
      noise += e * e;
    }
    if (signal < 1000.0) continue;
    const double snr = noise == 0 ? 80.0 : 10.0 * std::log10(signal / noise);
    total += std::clamp(snr, -10.0, 80.0);
    ++frames;
  }
  return frames ? total / frames : 0.0;
}

}  // namespace g729tool
