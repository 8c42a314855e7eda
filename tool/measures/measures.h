// Quality figures of a decoded signal against its original.
#pragma once

#include <cstdint>
#include <deque>
#include <span>

namespace g729tool {

// The codec's algorithmic delay: output sample n+40 answers input sample n.
inline constexpr int kCodecDelay = 40;

// 10 log10(sum ref^2 / sum (ref - test)^2), test delayed by `delay`.
double snr_db(std::span<const std::int16_t> ref, std::span<const std::int16_t> test, int delay);

// Mean of per-frame (80 samples) SNRs, each clamped to -10..80 dB; frames
// with reference energy below 1000 are left out.
double segmental_snr_db(std::span<const std::int16_t> ref, std::span<const std::int16_t> test,
                        int delay);

// The same two figures over signals that arrive in pieces, in constant
// memory: sums in the same order, so the results equal those above.
class QualityMeter {
 public:
  explicit QualityMeter(int delay) : delay_(delay) {}
  void add_reference(std::span<const std::int16_t> samples);
  void add_test(std::span<const std::int16_t> samples);
  double snr_db() const;
  double segmental_snr_db() const;

 private:
  void pair_up();

  int delay_;
  long test_skipped_ = 0;
  std::deque<std::int16_t> reference_, test_;  // not yet paired
  double signal_ = 0, noise_ = 0;
  double frame_signal_ = 0, frame_noise_ = 0;
  int frame_pairs_ = 0;
  double segments_ = 0;
  int frames_ = 0;
};

}  // namespace g729tool
