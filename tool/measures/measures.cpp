#include "measures.h"

#include <algorithm>
#include <cmath>

namespace g729tool {
namespace {

double frame_snr(double signal, double noise) {
  const double snr = noise == 0 ? 80.0 : 10.0 * std::log10(signal / noise);
  return std::clamp(snr, -10.0, 80.0);
}

double overall_snr(double signal, double noise) {
  if (noise == 0) return signal == 0 ? 0.0 : 200.0;
  return 10.0 * std::log10(signal / noise);
}

}  // namespace

double snr_db(std::span<const std::int16_t> ref, std::span<const std::int16_t> test, int delay) {
  double signal = 0, noise = 0;
  for (std::size_t i = 0; i + delay < test.size() && i < ref.size(); ++i) {
    const double r = ref[i];
    const double e = r - test[i + delay];
    signal += r * r;
    noise += e * e;
  }
  return overall_snr(signal, noise);
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
    total += frame_snr(signal, noise);
    ++frames;
  }
  return frames ? total / frames : 0.0;
}

void QualityMeter::add_reference(std::span<const std::int16_t> samples) {
  reference_.insert(reference_.end(), samples.begin(), samples.end());
  pair_up();
}

void QualityMeter::add_test(std::span<const std::int16_t> samples) {
  // The first `delay` test samples answer no reference sample.
  const auto skip = static_cast<std::size_t>(
      std::min<long>(static_cast<long>(samples.size()), delay_ - test_skipped_));
  test_skipped_ += static_cast<long>(skip);
  test_.insert(test_.end(), samples.begin() + static_cast<std::ptrdiff_t>(skip), samples.end());
  pair_up();
}

void QualityMeter::pair_up() {
  while (!reference_.empty() && !test_.empty()) {
    const double r = reference_.front();
    const double e = r - test_.front();
    reference_.pop_front();
    test_.pop_front();
    signal_ += r * r;
    noise_ += e * e;
    frame_signal_ += r * r;
    frame_noise_ += e * e;
    if (++frame_pairs_ < 80) continue;
    if (frame_signal_ >= 1000.0) {
      segments_ += frame_snr(frame_signal_, frame_noise_);
      ++frames_;
    }
    frame_signal_ = frame_noise_ = 0;
    frame_pairs_ = 0;
  }
}

double QualityMeter::snr_db() const {
  return overall_snr(signal_, noise_);
}

double QualityMeter::segmental_snr_db() const {
  return frames_ ? segments_ / frames_ : 0.0;
}

}  // namespace g729tool
