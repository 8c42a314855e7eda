// Any sequence of frames, valid or not: the decoder must never fail, never
// read past a frame and never keep a non-finite value in its state. Streams
// that run away over hundreds of frames are fuzz_decoder_runaway's part;
// here each input decodes at most kMaxFrames frames, so the fuzzer tries
// many inputs per second.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "decoder_state_check.h"
#include "g729a/codec.h"

namespace {

using fuzzcheck::require_finite_state;

// Per input: at most this many records, and this many decoded frames in
// all (runs of missing frames included), so the fuzzer tries many inputs.
constexpr int kMaxFrames = 12;
constexpr int kMaxDecoded = 48;
// Long enough for the code-gain predictor to reach its floor.
constexpr int kMaxRun = 32;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static g729a::DecoderState state;
  g729a::decoder_init(state);
  std::int16_t out[80];
  std::size_t pos = 0;
  int decoded = 0;
  for (int frames = 0; pos < size && frames < kMaxFrames && decoded < kMaxDecoded; ++frames) {
    // The first byte of each record chooses its length: mostly speech
    // frames, some SID frames, some invalid lengths; or a run of erased or
    // untransmitted frames, as many as the next byte says.
    const int selector = data[pos++] % 10;
    if (selector >= 8) {
      if (pos >= size) break;
      const int run = 1 + data[pos++] % kMaxRun;
      for (int r = 0; r < run && decoded < kMaxDecoded; ++r, ++decoded) {
        if (selector == 8) {
          g729a::decoder_decode_erased(state, out);
        } else {
          g729a::decoder_decode_untransmitted(state, out);
        }
      }
      require_finite_state(state);
      continue;
    }
    const int length = selector < 5 ? 10 : selector < 7 ? 2 : selector;
    if (pos + static_cast<std::size_t>(length) > size) break;
    const bool valid =
        g729a::decoder_decode(state, std::span<const std::uint8_t>(data + pos, length), out);
    if ((length == 10 || length == 2) != valid) std::abort();
    pos += static_cast<std::size_t>(length);
    ++decoded;
    require_finite_state(state);
  }
  return 0;
}
