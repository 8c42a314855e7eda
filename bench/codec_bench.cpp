// Cost of one 10 ms frame. "channels/core" is how many simultaneous calls one
// core could carry in that direction (100 frames per second per call).
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "g729a/codec.h"
#include "standin.h"

namespace {

std::vector<std::int16_t> speech_sample() {
  std::ifstream in(G729A_SOURCE_DIR "/data/speech/librivox_austen_8k.raw", std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  std::vector<std::int16_t> pcm(bytes.size() / 2);
  for (std::size_t i = 0; i < pcm.size(); ++i) {
    pcm[i] = static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[2 * i]) |
                                       (static_cast<std::uint8_t>(bytes[2 * i + 1]) << 8));
  }
  if (pcm.size() < 800) {
    std::fprintf(stderr, "speech sample missing\n");
    std::abort();
  }
  pcm.resize(pcm.size() / 80 * 80);
  return pcm;
}

std::vector<std::array<std::uint8_t, 10>> encoded_sample(const std::vector<std::int16_t>& pcm) {
  auto state = std::make_unique<g729a::EncoderState>();
  g729a::encoder_init(*state);
  std::vector<std::array<std::uint8_t, 10>> frames(pcm.size() / 80);
  for (std::size_t f = 0; f < frames.size(); ++f) {
    g729a::encoder_encode(*state, std::span<const std::int16_t, 80>(&pcm[80 * f], 80), frames[f]);
  }
  return frames;
}

void set_rate(benchmark::State& state) {
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["channels/core"] = benchmark::Counter(
      static_cast<double>(state.iterations()) / 100.0, benchmark::Counter::kIsRate);
}

void BM_EncodeFrame(benchmark::State& state) {
  const auto pcm = speech_sample();
  auto enc = std::make_unique<g729a::EncoderState>();
  g729a::encoder_init(*enc);
  std::size_t pos = 0;
  std::array<std::uint8_t, 10> frame;
  for (auto _ : state) {
    g729a::encoder_encode(*enc, std::span<const std::int16_t, 80>(&pcm[pos], 80), frame);
    benchmark::DoNotOptimize(frame);
    pos = (pos + 80) % pcm.size();
  }
  set_rate(state);
}
BENCHMARK(BM_EncodeFrame);

void BM_DecodeFrame(benchmark::State& state) {
  const auto frames = encoded_sample(speech_sample());
  auto dec = std::make_unique<g729a::DecoderState>();
  g729a::decoder_init(*dec);
  std::array<std::int16_t, 80> out;
  std::size_t i = 0;
  for (auto _ : state) {
    g729a::decoder_decode(*dec, frames[i], out);
    benchmark::DoNotOptimize(out);
    i = (i + 1) % frames.size();
  }
  set_rate(state);
}
BENCHMARK(BM_DecodeFrame);

void BM_DecodeSidFrame(benchmark::State& state) {
  auto dec = std::make_unique<g729a::DecoderState>();
  g729a::decoder_init(*dec);
  std::array<std::int16_t, 80> out;
  const std::array<std::uint8_t, 2> sid = {0x34, 0x56};
  for (auto _ : state) {
    g729a::decoder_decode(*dec, sid, out);
    benchmark::DoNotOptimize(out);
  }
  set_rate(state);
}
BENCHMARK(BM_DecodeSidFrame);

// A whole call leg as the switch runs it: 20 ms packets through both
// translators of the loaded module (buffering, pre-filter, packing included).
void BM_ModuleChain20ms(benchmark::State& state) {
  std::string error;
  static auto module = standin::Module::open(standin::default_module_path(), error);
  if (!module) {
    state.SkipWithError(error.c_str());
    return;
  }
  const auto pcm = speech_sample();
  standin::Chain chain;
  std::vector<std::int16_t> out;
  std::size_t pos = 0;
  for (auto _ : state) {
    out.clear();
    chain.feed(std::span<const std::int16_t>(pcm.data() + pos, 160), out);
    benchmark::DoNotOptimize(out.data());
    pos = (pos + 160) % (pcm.size() - 160);
  }
  state.counters["channels/core"] = benchmark::Counter(
      static_cast<double>(state.iterations()) / 50.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ModuleChain20ms);

}  // namespace

BENCHMARK_MAIN();
