// Cost of one 10 ms frame through the codec API (encoder_encode,
// decoder_decode) on real speech, speech and SID frames apart, of a
// full-duplex channel, and of 20 ms through both translators of the loaded
// module; median and spread over five repetitions. "channels/core" is how
// many simultaneous calls one core could carry (100 frames per second per
// call and direction).
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "codec/common/lp.h"
#include "codec/common/lp_filter.h"
#include "codec/common/lsf.h"
#include "codec/decoder/output_stage.h"
#include "codec/decoder/postfilter.h"
#include "codec/encoder/dtx.h"
#include "codec/reference/decoder_stages.h"
#include "codec/simd/lanes.h"
#include "g729a/codec.h"
#include "standin.h"

namespace {

std::vector<std::int16_t> read_pcm(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  std::vector<std::int16_t> pcm(bytes.size() / 2);
  for (std::size_t i = 0; i < pcm.size(); ++i) {
    pcm[i] = static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[2 * i]) |
                                       (static_cast<std::uint8_t>(bytes[2 * i + 1]) << 8));
  }
  pcm.resize(pcm.size() / 80 * 80);
  return pcm;
}

std::vector<std::int16_t> speech_sample() {
  auto pcm = read_pcm(G729A_SOURCE_DIR "/data/speech/librivox_austen_8k.raw");
  if (pcm.size() < 800) {
    std::fprintf(stderr, "speech sample missing\n");
    std::abort();
  }
  return pcm;
}

// Speech source of a benchmark: 0 the bundled sample, 1 the published
// SPEECH.IN test sequence (empty when the test data is not there).
std::vector<std::int16_t> speech_source(const benchmark::State& state) {
  if (state.range(0) == 0) return speech_sample();
  return read_pcm(G729A_TEST_DATA_DIR "/testvectors/g729a/SPEECH.IN");
}

bool skip_without(benchmark::State& state, const std::vector<std::int16_t>& pcm) {
  if (pcm.size() >= 160) return false;
  state.SkipWithError("SPEECH.IN not found next to the checkout");
  return true;
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
  const auto pcm = speech_source(state);
  if (skip_without(state, pcm)) return;
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
// Median and spread over repetitions; the argument picks the speech source.
#define G729A_SPEECH_BENCHMARK(f) \
  BENCHMARK(f)->ArgName("speech_in")->Arg(0)->Arg(1)->Repetitions(5)->ReportAggregatesOnly(true)
#define G729A_BENCHMARK(f) BENCHMARK(f)->Repetitions(5)->ReportAggregatesOnly(true)

G729A_SPEECH_BENCHMARK(BM_EncodeFrame);

// The same with DTX on: voice activity detection on every frame; frames it
// judges inactive go the comfort-noise way. The shares count the frames
// sent as speech and as SID frames.
void BM_EncodeFrameDtx(benchmark::State& state) {
  const auto pcm = speech_source(state);
  if (skip_without(state, pcm)) return;
  auto enc = std::make_unique<g729a::EncoderState>();
  g729a::encoder_init(*enc, {.dtx = true});
  std::size_t pos = 0;
  std::array<std::uint8_t, 10> frame;
  double speech = 0.0;
  double sid = 0.0;
  for (auto _ : state) {
    const std::size_t n =
        g729a::encoder_encode(*enc, std::span<const std::int16_t, 80>(&pcm[pos], 80), frame);
    speech += n == 10;
    sid += n == 2;
    benchmark::DoNotOptimize(frame);
    pos = (pos + 80) % pcm.size();
  }
  set_rate(state);
  state.counters["speech share"] = speech / static_cast<double>(state.iterations());
  state.counters["SID share"] = sid / static_cast<double>(state.iterations());
}
G729A_SPEECH_BENCHMARK(BM_EncodeFrameDtx);

// DTX during a pause: low steady noise, so after the first SID frame the
// frames go out as nothing, with a SID update now and then.
void BM_EncodeSilenceDtx(benchmark::State& state) {
  std::vector<std::int16_t> pcm(80 * 500);
  std::uint32_t seed = 12345;
  for (auto& v : pcm) {
    seed = seed * 1664525u + 1013904223u;
    v = static_cast<std::int16_t>(static_cast<int>(seed >> 26) - 32);
  }
  auto enc = std::make_unique<g729a::EncoderState>();
  g729a::encoder_init(*enc, {.dtx = true});
  std::array<std::uint8_t, 10> frame;
  std::size_t pos = 0;
  double sid = 0.0;
  for (auto _ : state) {
    sid +=
        g729a::encoder_encode(*enc, std::span<const std::int16_t, 80>(&pcm[pos], 80), frame) == 2;
    benchmark::DoNotOptimize(frame);
    pos = (pos + 80) % pcm.size();
  }
  set_rate(state);
  state.counters["SID share"] = sid / static_cast<double>(state.iterations());
}
G729A_BENCHMARK(BM_EncodeSilenceDtx);

// A SID frame on its own: the envelope search through the decoder's own
// reconstruction and the energy index.
void BM_SidQuantize(benchmark::State& state) {
  std::array<double, 11> r = {1000.0, 600.0, 300.0, 120.0, 40.0, 10.0, 3.0, 1.0, 0.5, 0.2, 0.1};
  const std::array<std::array<double, 11>, 1> history = {r};
  g729a::LsfMaMemory memory;
  g729a::lsf_ma_memory_init(memory);
  std::array<double, 10> fallback;
  for (int i = 0; i < 10; ++i) fallback[i] = std::cos(0.28 * (i + 1));
  g729a::FrameParameters sid;
  g729a::LpVector filter;
  for (auto _ : state) {
    g729a::sid_quantize(r, history, memory, fallback, sid, filter);
    benchmark::DoNotOptimize(sid);
  }
  set_rate(state);
}
G729A_BENCHMARK(BM_SidQuantize);

void BM_DecodeFrame(benchmark::State& state) {
  const auto pcm = speech_source(state);
  if (skip_without(state, pcm)) return;
  const auto frames = encoded_sample(pcm);
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
G729A_SPEECH_BENCHMARK(BM_DecodeFrame);

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
G729A_BENCHMARK(BM_DecodeSidFrame);

// One full-duplex channel through the codec API: per 20 ms, two frames
// encoded on the way out and two decoded on the way in. "channels/core" is
// how many such channels one core carries.
void BM_FullDuplexChannel20ms(benchmark::State& state) {
  const auto pcm = speech_source(state);
  if (skip_without(state, pcm)) return;
  const auto incoming = encoded_sample(pcm);
  auto enc = std::make_unique<g729a::EncoderState>();
  auto dec = std::make_unique<g729a::DecoderState>();
  g729a::encoder_init(*enc);
  g729a::decoder_init(*dec);
  std::array<std::uint8_t, 10> frame;
  std::array<std::int16_t, 80> out;
  std::size_t f = 0;
  const std::size_t frames = pcm.size() / 80 / 2 * 2;
  for (auto _ : state) {
    for (int k = 0; k < 2; ++k, ++f) {
      if (f == frames) f = 0;
      g729a::encoder_encode(*enc, std::span<const std::int16_t, 80>(&pcm[80 * f], 80), frame);
      g729a::decoder_decode(*dec, incoming[f], out);
    }
    benchmark::DoNotOptimize(frame);
    benchmark::DoNotOptimize(out);
  }
  state.counters["channels/core"] = benchmark::Counter(
      static_cast<double>(state.iterations()) / 50.0, benchmark::Counter::kIsRate);
}
G729A_SPEECH_BENCHMARK(BM_FullDuplexChannel20ms);

// The floor: 160 samples (two frames' worth) of the tenth-order all-pole
// filter, each output waiting for the previous one.
void BM_LpSynthesis160(benchmark::State& state) {
  const auto pcm = speech_sample();
  g729a::LpVector a = {1.0, -1.2, 0.9, -0.5, 0.3, -0.2, 0.15, -0.1, 0.05, -0.02, 0.01};
  std::array<double, 160> x;
  for (int n = 0; n < 160; ++n) x[n] = pcm[4000 + n];
  std::array<double, 170> y{};
  for (auto _ : state) {
    g729a::lp_synthesis(a, x.data(), y.data() + 10, 160);
    benchmark::DoNotOptimize(y);
    for (int k = 0; k < 10; ++k) y[k] = 0.0;
  }
}
G729A_BENCHMARK(BM_LpSynthesis160);

// The recursions a decoded frame must run one after another, in the
// decoder's order and nothing else: subframe 1's synthesis (40 samples),
// subframe 2's synthesis beside subframe 1's post-filter synthesis (40, one
// per lane), subframe 2's post-filter synthesis (40), the two tilt impulse
// responses side by side (22), the pitch post-filter's and the gain
// control's energy sums and running gains (both subframes) and the output
// filter (80). No arrangement that keeps every result goes below the longest
// chain among them; run back to back they bound what interleaving can save.
void BM_DecoderRecursions(benchmark::State& state) {
  const auto pcm = speech_sample();
  const g729a::LpVector a = {1.0, -1.2, 0.9, -0.5, 0.3, -0.2, 0.15, -0.1, 0.05, -0.02, 0.01};
  std::array<double, 80> x;
  for (int n = 0; n < 80; ++n) x[n] = pcm[4000 + n];
  std::array<double, 50> y0{}, y1{}, y2{}, y3{};
  std::array<double, 32> h0{}, h1{};
  std::array<double, 80> post;
  std::array<std::int16_t, 80> out;
  for (auto _ : state) {
    g729a::lp_synthesis(a, x.data(), y0.data() + 10, 40);
    g729a::lp_synthesis_pair(a, x.data() + 40, y1.data() + 10, a, x.data(), y2.data() + 10, 40);
    g729a::lp_synthesis(a, x.data() + 40, y3.data() + 10, 40);
    h0[10] = 1.0;
    h1[10] = 1.0;
    g729a::lp_synthesis_pair(a, h0.data() + 10, h0.data() + 10, a, h1.data() + 10, h1.data() + 10,
                             22);
    for (int s = 0; s < 2; ++s) {
      double e_d, e_0, gain = 0.5;
      g729a::two_energies(y2.data() + 10, y3.data() + 10, 0.5, &e_d, &e_0);
      benchmark::DoNotOptimize(e_d + e_0);
      g729a::adaptive_gain_control(g729a::SubframeIn(x.data() + 40 * s, 40),
                                   g729a::SubframeIn(y1.data() + 10, 40), gain,
                                   g729a::SubframeOut(post.data() + 40 * s, 40));
    }
    std::array<double, 4> memory{};
    g729a::output_stage(post, memory, out);
    benchmark::DoNotOptimize(out);
    benchmark::DoNotOptimize(y0);
    benchmark::DoNotOptimize(y3);
  }
}
G729A_BENCHMARK(BM_DecoderRecursions);

// The same for an encoded frame: the input filter (80 samples), the
// weighted speech (80), each subframe's impulse response beside its target
// (2 x 40, one per lane) and filtered adaptive-codebook vector (2 x 40), and
// the Levinson-Durbin recursion with its ten dependent divisions.
void BM_EncoderRecursions(benchmark::State& state) {
  const auto pcm = speech_sample();
  const g729a::LpVector a = {1.0, -1.2, 0.9, -0.5, 0.3, -0.2, 0.15, -0.1, 0.05, -0.02, 0.01};
  std::array<double, 80> x;
  for (int n = 0; n < 80; ++n) x[n] = pcm[4000 + n];
  const std::array<double, 11> r = {1.0, 0.9, 0.7, 0.5, 0.3, 0.1, -0.1, -0.2, -0.25, -0.2, -0.1};
  std::array<double, 40> impulse{};
  impulse[0] = 1.0;
  for (auto _ : state) {
    std::array<double, 80> speech = x;
    g729a::BiquadMemory memory{};
    g729a::encoder_preprocess(memory, speech);
    std::array<double, 90> wsp{};
    g729a::lp_synthesis(a, speech.data(), wsp.data() + 10, 80);
    for (int s = 0; s < 2; ++s) {
      std::array<double, 50> h{}, target{}, y1{};
      g729a::lp_synthesis_pair(a, impulse.data(), h.data() + 10, a, x.data() + 40 * s,
                               target.data() + 10, 40);
      g729a::lp_synthesis(a, x.data() + 40 * s, y1.data() + 10, 40);
      benchmark::DoNotOptimize(h);
      benchmark::DoNotOptimize(target);
      benchmark::DoNotOptimize(y1);
    }
    g729a::LpVector lp;
    std::array<double, 10> rc;
    benchmark::DoNotOptimize(g729a::levinson_durbin(r, lp, rc));
    benchmark::DoNotOptimize(wsp);
  }
}
G729A_BENCHMARK(BM_EncoderRecursions);

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
G729A_BENCHMARK(BM_ModuleChain20ms);

}  // namespace

BENCHMARK_MAIN();
