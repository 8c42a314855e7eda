// Our codec beside Opus, Speex and GSM full rate, in one process on the same
// speech: absolute times differ a lot between machines, the ratios much
// less. One iteration encodes the whole bundled sample frame by frame, or
// decodes that codec's own bitstream of it; "us_per_10ms" is the time per
// 10 ms of audio (a 20 ms frame counts twice). Median and spread over five
// repetitions. What each codec was set to and what it produced:
// g729a_peer_profile; scripts/peer-bench.sh prints the table with
// instruction counts beside it.
#include <benchmark/benchmark.h>

#include <string>

#include "peer_codecs.h"

namespace {

void set_counters(benchmark::State& state, const std::vector<std::int16_t>& pcm,
                  const peer::Bitstream& coded) {
  // Inverted rate: seconds per unit; units of a millionth of 10 ms give us.
  state.counters["us_per_10ms"] = benchmark::Counter(
      static_cast<double>(peer::tens_of_ms(pcm)) / 1e6,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["kbit_per_s"] = static_cast<double>(coded.bytes.size()) * 8.0 /
                                 (static_cast<double>(pcm.size()) / 8000.0) / 1000.0;
}

template <class Codec>
void BM_Encode(benchmark::State& state) {
  const auto pcm = peer::speech_sample();
  Codec codec;
  peer::Bitstream coded;
  for (auto _ : state) {
    peer::encode_sample(codec, pcm, coded);
    benchmark::DoNotOptimize(coded.bytes.data());
    benchmark::ClobberMemory();
  }
  set_counters(state, pcm, coded);
}

template <class Codec>
void BM_Decode(benchmark::State& state) {
  const auto pcm = peer::speech_sample();
  Codec codec;
  peer::Bitstream coded;
  peer::encode_sample(codec, pcm, coded);
  std::vector<std::int16_t> out;
  for (auto _ : state) {
    peer::decode_sample(codec, coded, out);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  set_counters(state, pcm, coded);
}

template <class Codec>
void register_codec() {
  const std::string name = Codec::kName;
  benchmark::RegisterBenchmark(("BM_Peer/Encode/" + name).c_str(), BM_Encode<Codec>)
      ->Repetitions(5)
      ->ReportAggregatesOnly(true);
  benchmark::RegisterBenchmark(("BM_Peer/Decode/" + name).c_str(), BM_Decode<Codec>)
      ->Repetitions(5)
      ->ReportAggregatesOnly(true);
}

}  // namespace

int main(int argc, char** argv) {
  register_codec<peer::G729a>();
  register_codec<peer::OpusSilkNb8>();
  register_codec<peer::SpeexNb8>();
  register_codec<peer::Gsm610>();
  benchmark::AddCustomContext("g729a_vector_path", g729a::simd_path_name(g729a::simd_path()));
  benchmark::AddCustomContext("opus", opus_get_version_string());
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
