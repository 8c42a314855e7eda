// Deterministic workload for callgrind: encodes the bundled speech sample
// (or the raw 16-bit file given as the argument) frame by frame through the
// codec API, then decodes the frames and a run of SID frames. Instruction
// counts per frame are inclusive counts divided by the frame counts printed
// here (scripts/profile.sh).
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "g729a/codec.h"

namespace {

// Kept apart so callgrind reports speech and SID decoding separately; the
// samples are only stored here, the checksum is taken outside.
[[gnu::noinline]] void decode_speech_frames(g729a::DecoderState& dec,
                                            const std::vector<std::array<std::uint8_t, 10>>& coded,
                                            std::vector<std::int16_t>& pcm) {
  for (std::size_t f = 0; f < coded.size(); ++f) {
    g729a::decoder_decode(dec, coded[f], std::span<std::int16_t, 80>(pcm.data() + 80 * f, 80));
  }
}

[[gnu::noinline]] void decode_sid_frames(g729a::DecoderState& dec, int count,
                                         std::vector<std::int16_t>& pcm) {
  const std::array<std::uint8_t, 2> sid = {0x34, 0x56};
  for (int f = 0; f < count; ++f) {
    g729a::decoder_decode(dec, sid, std::span<std::int16_t, 80>(pcm.data() + 80 * f, 80));
  }
}

unsigned checksum(const std::vector<std::int16_t>& pcm, unsigned sum) {
  for (std::int16_t v : pcm) sum = sum * 31 + static_cast<std::uint16_t>(v);
  return sum;
}

}  // namespace

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : G729A_SOURCE_DIR "/data/speech/librivox_austen_8k.raw";
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  const std::size_t frames = bytes.size() / 160;
  if (frames == 0) {
    std::fprintf(stderr, "no speech in %s\n", path);
    return 1;
  }

  auto enc = std::make_unique<g729a::EncoderState>();
  g729a::encoder_init(*enc);
  std::vector<std::array<std::uint8_t, 10>> coded(frames);
  std::array<std::int16_t, 80> pcm;
  for (std::size_t f = 0; f < frames; ++f) {
    for (int i = 0; i < 80; ++i) {
      const std::size_t b = 160 * f + 2 * i;
      pcm[i] = static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[b]) |
                                         (static_cast<std::uint8_t>(bytes[b + 1]) << 8));
    }
    g729a::encoder_encode(*enc, pcm, coded[f]);
  }

  auto dec = std::make_unique<g729a::DecoderState>();
  g729a::decoder_init(*dec);
  std::vector<std::int16_t> speech_pcm(80 * frames);
  decode_speech_frames(*dec, coded, speech_pcm);
  const int sid_frames = 100;
  std::vector<std::int16_t> sid_pcm(80 * sid_frames);
  decode_sid_frames(*dec, sid_frames, sid_pcm);
  unsigned sum = checksum(speech_pcm, 0);
  sum = sum * 31 + checksum(sid_pcm, 0);
  std::printf("speech frames %zu, sid frames %d, checksum %08x\n", frames, sid_frames, sum);
  return 0;
}
