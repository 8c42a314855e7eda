// The fast codec against the reference codec, frame by frame: fuzzer-chosen
// frames (speech, SID, invalid lengths, runs of erased and untransmitted
// frames) into both decoders, or fuzzer-chosen audio into both encoders, on
// the vector path the first byte picks. Outputs and whole states must agree
// bit for bit after every frame; the first difference is printed and the
// input kept as a crash.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "codec/reference/lockstep.h"
#include "codec/simd/simd.h"
#include "g729a/codec.h"

namespace {

// Per input, so that the fuzzer tries many inputs: decoded frames (runs of
// missing frames included) and encoded frames.
constexpr int kMaxDecoded = 8;
constexpr int kMaxRun = 6;
constexpr int kMaxEncoded = 3;

void require_agreement(const std::string& difference, const char* codec, int frame) {
  if (difference.empty()) return;
  std::fprintf(stderr, "%s frame %d on the %s path: %s\n", codec, frame,
               g729a::simd_path_name(g729a::simd_path()), difference.c_str());
  std::abort();
}

void decode_records(const std::uint8_t* data, std::size_t size) {
  static g729a::DecoderState reference;
  static g729a::DecoderState fast;
  g729a::decoder_init(reference);
  g729a::decoder_init(fast);
  std::size_t pos = 0;
  int decoded = 0;
  while (pos < size && decoded < kMaxDecoded) {
    // As fuzz_decoder: mostly speech, some SID, some invalid lengths, or a
    // run of erased or untransmitted frames as long as the next byte says.
    const int selector = data[pos++] % 10;
    if (selector >= 8) {
      if (pos >= size) break;
      const int run = 1 + data[pos++] % kMaxRun;
      const auto input =
          selector == 8 ? g729a::DecoderInput::Erased : g729a::DecoderInput::Untransmitted;
      for (int r = 0; r < run && decoded < kMaxDecoded; ++r, ++decoded) {
        require_agreement(g729a::decode_in_lockstep(reference, fast, input), "decoder", decoded);
      }
      continue;
    }
    const int length = selector < 5 ? 10 : selector < 7 ? 2 : selector;
    if (pos + static_cast<std::size_t>(length) > size) break;
    require_agreement(g729a::decode_in_lockstep(reference, fast, g729a::DecoderInput::Received,
                                                std::span<const std::uint8_t>(data + pos, length)),
                      "decoder", decoded);
    pos += static_cast<std::size_t>(length);
    ++decoded;
  }
}

void encode_audio(const std::uint8_t* data, std::size_t size) {
  static g729a::EncoderState reference;
  static g729a::EncoderState fast;
  g729a::encoder_init(reference);
  g729a::encoder_init(fast);
  constexpr std::size_t kFrameBytes = 2 * g729a::kFrameLength;
  for (int frame = 0; frame < kMaxEncoded && size >= kFrameBytes; ++frame) {
    std::array<std::int16_t, g729a::kFrameLength> pcm;
    for (int i = 0; i < g729a::kFrameLength; ++i) {
      pcm[i] = static_cast<std::int16_t>(data[2 * i] | data[2 * i + 1] << 8);
    }
    require_agreement(g729a::encode_in_lockstep(reference, fast, pcm), "encoder", frame);
    data += kFrameBytes;
    size -= kFrameBytes;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // Bit 0: decoder or encoder; the rest: the vector path (capped at what
  // the machine offers).
  const int choice = data[0];
  const g729a::ScopedSimdPath path(static_cast<g729a::SimdPath>((choice >> 1) % 3));
  if ((choice & 1) == 0) {
    decode_records(data + 1, size - 1);
  } else {
    encode_audio(data + 1, size - 1);
  }
  return 0;
}
