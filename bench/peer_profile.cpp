// Fixed workload for callgrind, the peer benchmark without timing: each
// codec encodes the bundled speech sample frame by frame, then decodes its
// own bitstream of it, in peer::encode_sample<Codec> and
// peer::decode_sample<Codec> (out of line, one per codec and direction).
// Prints per codec the 10 ms units to divide inclusive counts by, what the
// codec was set to and what it produced (scripts/peer-bench.sh).
// Usage: g729a_peer_profile [codec name...]   (all four without names)
#include <cstdio>
#include <cstring>
#include <string>

#include "peer_codecs.h"

namespace {

template <class Codec>
void run(const std::vector<std::int16_t>& pcm, int argc, char** argv) {
  bool wanted = argc < 2;
  for (int i = 1; i < argc; ++i) wanted = wanted || std::strcmp(argv[i], Codec::kName) == 0;
  if (!wanted) return;
  Codec codec;
  peer::Bitstream coded;
  peer::encode_sample(codec, pcm, coded);
  std::vector<std::int16_t> out;
  peer::decode_sample(codec, coded, out);
  unsigned sum = 0;
  for (std::int16_t v : out) sum = sum * 31 + static_cast<std::uint16_t>(v);
  const double seconds = static_cast<double>(pcm.size()) / 8000.0;
  std::printf("%s: units_10ms %zu, packets %zu, %.3f kbit/s, checksum %08x; %s\n", Codec::kName,
              peer::tens_of_ms(pcm), coded.offsets.size() - 1,
              static_cast<double>(coded.bytes.size()) * 8.0 / seconds / 1000.0, sum,
              codec.settings(coded).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const auto pcm = peer::speech_sample();
  run<peer::G729a>(pcm, argc, argv);
  run<peer::OpusSilkNb8>(pcm, argc, argv);
  run<peer::SpeexNb8>(pcm, argc, argv);
  run<peer::Gsm610>(pcm, argc, argv);
  return 0;
}
