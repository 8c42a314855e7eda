// Cost of one 10 ms frame through the C library (libg729a.so.1:
// g729a_encode, g729a_decode) on the same speech as BM_EncodeFrame and
// BM_DecodeFrame, which time the codec API inside this program. The library
// adds argument checks and a call through the dynamic linker's table; the
// two should agree within noise.
#include <benchmark/benchmark.h>
#include <g729a/g729a.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// The speech of the codec API's benchmarks: 0 the bundled sample, 1 the
// published SPEECH.IN test sequence.
std::vector<std::int16_t> library_speech(const benchmark::State& state) {
  const std::string path = state.range(0) == 0 ? G729A_SOURCE_DIR
                               "/data/speech/librivox_austen_8k.raw"
                                               : G729A_TEST_DATA_DIR "/testvectors/g729a/SPEECH.IN";
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  std::vector<std::int16_t> pcm(bytes.size() / 160 * 80);
  for (std::size_t i = 0; i < pcm.size(); ++i) {
    pcm[i] = static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[2 * i]) |
                                       (static_cast<std::uint8_t>(bytes[2 * i + 1]) << 8));
  }
  return pcm;
}

void library_rate(benchmark::State& state) {
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_LibraryEncodeFrame(benchmark::State& state) {
  const auto pcm = library_speech(state);
  G729AEncoder* enc = g729a_encoder_create(0, nullptr);
  if (pcm.size() < 160 || enc == nullptr) {
    state.SkipWithError("speech or encoder missing");
    return;
  }
  unsigned char frame[G729A_FRAME_BYTES];
  std::size_t pos = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(g729a_encode(enc, &pcm[pos], frame, sizeof frame));
    benchmark::DoNotOptimize(frame);
    pos = (pos + 80) % pcm.size();
  }
  g729a_encoder_destroy(enc);
  library_rate(state);
}
BENCHMARK(BM_LibraryEncodeFrame)
    ->ArgName("speech_in")
    ->Arg(0)
    ->Arg(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_LibraryDecodeFrame(benchmark::State& state) {
  const auto pcm = library_speech(state);
  G729AEncoder* enc = g729a_encoder_create(0, nullptr);
  G729ADecoder* dec = g729a_decoder_create(nullptr);
  if (pcm.size() < 160 || enc == nullptr || dec == nullptr) {
    state.SkipWithError("speech or codec states missing");
    return;
  }
  std::vector<unsigned char> frames(pcm.size() / 80 * G729A_FRAME_BYTES);
  for (std::size_t f = 0; f < pcm.size() / 80; ++f) {
    g729a_encode(enc, &pcm[80 * f], &frames[G729A_FRAME_BYTES * f], G729A_FRAME_BYTES);
  }
  std::int16_t out[G729A_FRAME_SAMPLES];
  std::size_t pos = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(g729a_decode(dec, &frames[pos], G729A_FRAME_BYTES, out));
    benchmark::DoNotOptimize(out);
    pos = (pos + G729A_FRAME_BYTES) % frames.size();
  }
  g729a_encoder_destroy(enc);
  g729a_decoder_destroy(dec);
  library_rate(state);
}
BENCHMARK(BM_LibraryDecodeFrame)
    ->ArgName("speech_in")
    ->Arg(0)
    ->Arg(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace
