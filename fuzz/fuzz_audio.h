// What the encoder fuzz targets share: the input read as 16-bit little-endian
// audio, at most `max_frames` whole frames of it, and a check that state
// arrays hold only finite values.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace fuzzaudio {

template <typename Array>
void require_finite(const Array& values) {
  for (double v : values) {
    if (!std::isfinite(v)) std::abort();
  }
}

// Calls frame(pcm) for each whole 80-sample frame of the input, up to max_frames.
template <typename Fn>
void for_each_frame(const std::uint8_t* data, std::size_t size, std::size_t max_frames, Fn frame) {
  const std::size_t samples = std::min(size / 2, 80 * max_frames);
  for (std::size_t first = 0; first + 80 <= samples; first += 80) {
    std::array<std::int16_t, 80> pcm;
    for (int i = 0; i < 80; ++i) {
      const std::size_t k = 2 * (first + i);
      pcm[i] = static_cast<std::int16_t>(data[k] | (data[k + 1] << 8));
    }
    frame(pcm);
  }
}

}  // namespace fuzzaudio
