// Quality figures of a decoded signal against its original.
#pragma once

#include <cstdint>
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

}  // namespace g729tool
