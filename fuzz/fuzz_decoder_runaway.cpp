// Streams that drive the decoder's values towards overflow. Reaching it
// honestly takes hundreds of frames of maximal pitch gain; instead, after a
// few frames the input scales every signal value the state carries by up
// to 2^1023, so a handful of further frames explores what happens near and
// past the largest doubles: the state must stay finite (the channel
// restarts when it would not) and every conversion must stay defined (the
// sanitizers check float-to-integer conversions).
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <span>

#include "decoder_state_check.h"
#include "g729a/codec.h"

namespace {

constexpr int kMaxFrames = 8;

using fuzzcheck::require_finite_state;

void scale(std::span<double> values, double factor) {
  for (double& v : values) v *= factor;
}

double largest(std::span<const double> values, double m) {
  for (double v : values) m = std::fmax(m, std::fabs(v));
  return m;
}

// Every value that grows with the signal, as a runaway stream leaves them:
// scaled by 2^exponent, or less where that would leave the doubles (a
// decoder never carries a non-finite value into the next frame).
void scale_signal_state(g729a::DecoderState& s, int exponent) {
  double m = largest(s.excitation_buffer, 0.0);
  m = largest(s.synthesis_memory, m);
  m = largest(s.synthesis_buffer, m);
  m = largest(s.residual_buffer, m);
  m = largest(s.postfilter_memory, m);
  m = largest(s.postproc_memory, m);
  m = std::fmax(m, std::fabs(s.tilt_memory));
  if (m == 0.0) return;
  const double ratio = std::numeric_limits<double>::max() / m;
  int room = 2048;  // a denormal m leaves room for any exponent
  if (std::isfinite(ratio)) std::frexp(ratio, &room);
  const double factor = std::ldexp(1.0, std::min(exponent, room - 1));
  scale(s.excitation_buffer, factor);
  scale(s.synthesis_memory, factor);
  scale(s.synthesis_buffer, factor);
  scale(s.residual_buffer, factor);
  scale(s.postfilter_memory, factor);
  scale(s.postproc_memory, factor);
  s.tilt_memory *= factor;
}

}  // namespace

// Input: two bytes giving the scale exponent (0..1023) and the frame after
// which to apply it, then records as in fuzz_decoder: a selector byte (0-4
// speech, 5-6 SID, 7 an invalid length) and the frame, repeated up to four
// times by the selector's high bits.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static g729a::DecoderState state;
  g729a::decoder_init(state);
  const int exponent = (data[0] | (data[1] << 8)) & 1023;
  const int scale_after = (data[1] >> 2) & 3;
  std::int16_t out[80];
  std::size_t pos = 2;
  int frames = 0;
  while (pos < size && frames < kMaxFrames) {
    const int selector = data[pos] % 8;
    const int repeats = 1 + (data[pos] >> 6);
    ++pos;
    const int length = selector < 5 ? 10 : selector < 7 ? 2 : 7;
    if (pos + static_cast<std::size_t>(length) > size) break;
    for (int r = 0; r < repeats && frames < kMaxFrames; ++r, ++frames) {
      if (frames == scale_after) scale_signal_state(state, exponent);
      const bool valid =
          g729a::decoder_decode(state, std::span<const std::uint8_t>(data + pos, length), out);
      if ((length == 10 || length == 2) != valid) std::abort();
      require_finite_state(state);
    }
    pos += static_cast<std::size_t>(length);
  }
  return 0;
}
