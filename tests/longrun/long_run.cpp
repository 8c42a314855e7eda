// Long run: speech and noise (normal, loud, quiet, silence, DC, full-scale
// noise and square waves) through one channel's encoder and decoder
// translators of the loaded module, for an hour of audio by default.
// Checks, per block of one signal kind:
//   - every value both codec states carry is finite;
//   - silence after loud passages decodes to near silence, speech to sound;
//   - resident memory stays flat after the first round of all kinds;
//   - CPU time per frame does not drift: no kind gets slower in later rounds
//     than in the first ones, and none (silence, quiet) is much slower than
//     the others, which is what values sinking into denormals would cause.
// Timing is only ever compared with other blocks of the same run.
//
//   g729a_longrun [--audio-minutes M] [--max-seconds S]
// M minutes of audio (default 60); stops early, after a whole round, once S
// seconds of wall time have passed (default: no limit). Exit status 0 when
// every check passed.
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "g729a/codec.h"
#include "standin.h"

namespace {

constexpr int kRate = 8000;
constexpr int kBlockSeconds = 4;
constexpr int kBlockSamples = kBlockSeconds * kRate;
constexpr int kPacket = 160;  // 20 ms host frames

// The second silence follows the full-scale square wave.
enum Kind { Speech, Loud, Quiet, Silence, Dc, Noise, QuietNoise, Square, AfterLoudSilence, kKinds };
const char* const kNames[kKinds] = {"speech", "loud",        "quiet",  "silence",  "dc",
                                    "noise",  "quiet-noise", "square", "silence-2"};

std::vector<std::int16_t> read_speech(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  std::vector<std::int16_t> pcm(bytes.size() / 2);
  std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
  return pcm;
}

std::int16_t clip(double v) {
  return static_cast<std::int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
}

// One block of the given kind; speech advances through the sample.
void make_block(Kind kind, const std::vector<std::int16_t>& speech, std::size_t& pos,
                std::mt19937& rng, std::vector<std::int16_t>& out) {
  std::uniform_int_distribution<int> full(-32768, 32767), tiny(-2, 2);
  for (int n = 0; n < kBlockSamples; ++n) {
    const double s = speech[pos];
    pos = (pos + 1) % speech.size();
    switch (kind) {
      case Speech:
        out[n] = clip(s);
        break;
      case Loud:
        out[n] = clip(s * 16.0);
        break;
      case Quiet:
        out[n] = clip(s / 300.0);
        break;
      case Silence:
      case AfterLoudSilence:
        out[n] = 0;
        break;
      case Dc:
        out[n] = 12000;
        break;
      case Noise:
        out[n] = static_cast<std::int16_t>(full(rng));
        break;
      case QuietNoise:
        out[n] = static_cast<std::int16_t>(tiny(rng));
        break;
      case Square:
        out[n] = (n / 20) % 2 ? 32767 : -32768;
        break;
      default:
        break;
    }
  }
}

template <typename Array>
bool finite(const Array& a) {
  return std::all_of(a.begin(), a.end(), [](double v) { return std::isfinite(v); });
}

bool states_finite(const g729a::EncoderState& e, const g729a::DecoderState& d) {
  bool ok = finite(e.speech_buffer) && finite(e.weighted_speech_buffer) &&
            finite(e.excitation_buffer) && finite(e.lsp_previous) &&
            finite(e.lsp_previous_quantized) && finite(e.target_filter_memory) &&
            finite(e.weighted_speech_filter_memory) && finite(e.zero_filter_memory) &&
            finite(e.taming_error) && finite(e.gain_predictor_memory) &&
            finite(e.preprocess_memory) && finite(std::array{e.pitch_sharpening});
  ok = ok && finite(d.excitation_buffer) && finite(d.lsp_previous) && finite(d.synthesis_memory) &&
       finite(d.sid_lsp) && finite(d.gain_predictor_memory) && finite(d.postproc_memory) &&
       finite(d.residual_buffer) && finite(d.postfilter_memory) && finite(d.synthesis_buffer) &&
       finite(std::array{d.pitch_sharpening, d.gain_code, d.gain_pitch, d.sid_gain,
                         d.sid_received_gain, d.tilt_memory, d.agc_gain});
  return ok;
}

long resident_kb() {
  std::ifstream in("/proc/self/statm");
  long size = 0, resident = 0;
  in >> size >> resident;
  return resident * 4;  // pages of 4 KB
}

double thread_cpu_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

double rms(const std::vector<std::int16_t>& v, std::size_t from) {
  double e = 0;
  for (std::size_t i = from; i < v.size(); ++i) e += double(v[i]) * v[i];
  return v.size() > from ? std::sqrt(e / static_cast<double>(v.size() - from)) : 0.0;
}

}  // namespace

int main(int argc, char** argv) {
  double audio_minutes = 60, max_seconds = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--audio-minutes"))
      audio_minutes = std::atof(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--max-seconds"))
      max_seconds = std::atof(argv[i + 1]);
    else {
      std::fprintf(stderr, "usage: %s [--audio-minutes M] [--max-seconds S]\n", argv[0]);
      return 2;
    }
  }
  standin::set_log_sink({});
  std::string error;
  auto module = standin::Module::open(standin::default_module_path(), error);
  if (!module) {
    std::fprintf(stderr, "cannot load the module: %s\n", error.c_str());
    return 1;
  }
  const auto speech =
      read_speech(std::string(G729A_SOURCE_DIR) + "/data/speech/librivox_austen_8k.raw");
  if (speech.size() < kRate) {
    std::fprintf(stderr, "speech sample missing\n");
    return 1;
  }

  standin::Chain chain;
  const auto& enc = *static_cast<g729a::EncoderState*>(chain.encoder().instance()->codec_state);
  const auto& dec = *static_cast<g729a::DecoderState*>(chain.decoder().instance()->codec_state);
  std::mt19937 rng(729);
  std::size_t pos = 0;
  std::vector<std::int16_t> block(kBlockSamples), out;
  out.reserve(kBlockSamples + 2 * kPacket);
  std::array<std::vector<double>, kKinds> cpu_per_frame;
  const long blocks_wanted = std::lround(audio_minutes * 60 / kBlockSeconds);
  const auto start = std::chrono::steady_clock::now();
  long blocks = 0, rss_after_first_round = 0, rss_peak = 0;
  int failures = 0;
  auto fail = [&](const std::string& what) {
    if (++failures <= 20) std::fprintf(stderr, "FAIL: %s\n", what.c_str());
  };

  int round = 0;
  for (; blocks < blocks_wanted; ++round) {
    for (int k = 0; k < kKinds && blocks < blocks_wanted; ++k, ++blocks) {
      const Kind kind = static_cast<Kind>(k);
      make_block(kind, speech, pos, rng, block);
      out.clear();
      const double t0 = thread_cpu_seconds();
      for (int n = 0; n < kBlockSamples; n += kPacket) {
        if (chain.feed({block.data() + n, kPacket}, out) != 0) fail("feed refused");
      }
      const double t1 = thread_cpu_seconds();
      cpu_per_frame[k].push_back((t1 - t0) / (kBlockSamples / 80));
      const std::string where = std::string(kNames[k]) + " block of round " + std::to_string(round);
      if (!states_finite(enc, dec)) fail("non-finite state after the " + where);
      // The last second, past the codec's delay and the decoder's settling.
      const double level = rms(out, out.size() > kRate ? out.size() - kRate : 0);
      if ((kind == Silence || kind == AfterLoudSilence) && level > 30)
        fail(where + " decodes to level " + std::to_string(level));
      if ((kind == Speech || kind == Loud) && level < 100)
        fail(where + " decodes to level " + std::to_string(level));
      rss_peak = std::max(rss_peak, resident_kb());
    }
    if (round == 0) rss_after_first_round = resident_kb();
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (max_seconds > 0 && elapsed >= max_seconds) {
      ++round;
      break;
    }
  }
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long rss_end = resident_kb();
  const double audio = static_cast<double>(blocks) * kBlockSeconds;

  std::printf(
      "long run: %.1f min of audio in %d rounds of %d kinds, %.1f s wall, %.0fx real time\n",
      audio / 60, round, kKinds, wall, audio / wall);
  std::printf("resident memory: %ld KB after the first round, %ld KB at the end, %ld KB peak\n",
              rss_after_first_round, rss_end, rss_peak);
  if (rss_end - rss_after_first_round > 512) fail("resident memory grew");

  // Drift: per kind, the later rounds against the first third of them.
  std::vector<double> medians;
  for (int k = 0; k < kKinds; ++k) {
    const auto& t = cpu_per_frame[k];
    if (t.empty()) continue;
    const std::size_t third = std::max<std::size_t>(1, t.size() / 3);
    const double early = median({t.begin(), t.begin() + static_cast<long>(third)});
    const double late = median({t.end() - static_cast<long>(third), t.end()});
    const double worst = *std::max_element(t.begin(), t.end());
    medians.push_back(median(t));
    std::printf("  %-12s %7.2f us/frame (first third %.2f, last third %.2f, worst block %.2f)\n",
                kNames[k], 1e6 * median(t), 1e6 * early, 1e6 * late, 1e6 * worst);
    if (late > 2.0 * early) fail(std::string(kNames[k]) + " got slower over the run");
  }
  const double overall = median(medians);
  for (int k = 0; k < kKinds; ++k) {
    if (!cpu_per_frame[k].empty() && median(cpu_per_frame[k]) > 3.0 * overall)
      fail(std::string(kNames[k]) + " is much slower than the other kinds");
  }
  std::printf("%s\n", failures ? "long run FAILED" : "long run passed");
  return failures ? 1 : 0;
}
