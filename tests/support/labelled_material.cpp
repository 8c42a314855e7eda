#include "support/labelled_material.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "support/test_support.h"

namespace labelled {
namespace {

constexpr std::size_t kFrame = 80;
constexpr int kLeadInFrames = 200;  // 2 s of noise alone, as at the start of a call
constexpr int kPauseFrames = 100;   // 1 s between utterances
constexpr int kUtterances = 5;
constexpr double kFullScaleSineDb = 87.30;  // 10 log10(32767^2 / 2)

// A small deterministic generator: the material is the same on every run and machine.
struct Random {
  std::uint64_t s;
  double uniform() {  // [0, 1)
    s = s * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(s >> 11) * (1.0 / 9007199254740992.0);
  }
  double gaussian() {
    double sum = 0.0;
    for (int i = 0; i < 12; ++i) sum += uniform();
    return sum - 6.0;
  }
};

// Mean power of x[begin, end).
double power(const std::vector<double>& x, std::size_t begin, std::size_t end) {
  double e = 0.0;
  for (std::size_t n = begin; n < end; ++n) e += x[n] * x[n];
  return e / static_cast<double>(end - begin);
}

std::vector<double> noise_signal(Noise kind, std::size_t length,
                                 const std::vector<double>& speech) {
  std::vector<double> out(length, 0.0);
  Random rng{0x5eed1234abcdULL + static_cast<std::uint64_t>(kind)};
  if (kind == Noise::Babble) {  // six talkers: the bundled speech from different starting points
    for (int t = 0; t < 6; ++t) {
      const auto offset =
          static_cast<std::size_t>(rng.uniform() * static_cast<double>(speech.size()));
      const double g = 0.7 + 0.6 * rng.uniform();
      for (std::size_t n = 0; n < length; ++n) out[n] += g * speech[(offset + n) % speech.size()];
    }
    return out;
  }
  // Pink: first-order low-passes spread over the band, close to 1/f. Rumble:
  // a two-pole resonator near 60 Hz plus low-passed noise under 200 Hz.
  const double pole[5] = {0.99886, 0.99332, 0.96900, 0.86650, 0.55000};
  const double gain[5] = {0.0555179, 0.0750759, 0.1538520, 0.3104856, 0.5329522};
  double b[5] = {}, y1 = 0.0, y2 = 0.0, l = 0.0;
  for (auto& v : out) {
    if (kind == Noise::White) {
      v = rng.gaussian();
    } else if (kind == Noise::Pink) {
      const double w = rng.gaussian();
      for (int i = 0; i < 5; ++i) v += b[i] = pole[i] * b[i] + gain[i] * w;
    } else if (kind == Noise::Rumble) {
      const double y = 1.97 * y1 - 0.9801 * y2 + 0.02 * rng.gaussian();  // r = 0.99, about 60 Hz
      y2 = std::exchange(y1, y);
      l = 0.85 * l + 0.15 * rng.gaussian();
      v = y + 0.5 * l;
    }
  }
  return out;
}

}  // namespace

Material make(Noise noise, double snr_db, double speech_dbov) {
  const auto raw =
      testsupport::read_pcm(std::string(G729A_SOURCE_DIR) + "/data/speech/librivox_austen_8k.raw");
  const std::vector<double> speech(raw.begin(), raw.end());
  std::vector<double> frame_power(speech.size() / kFrame);
  for (std::size_t f = 0; f < frame_power.size(); ++f) {
    frame_power[f] = power(speech, f * kFrame, (f + 1) * kFrame);
  }
  const std::size_t speech_frames = frame_power.size();

  // Lead-in, then utterance and pause in turn; each utterance ends at the
  // speech's quietest frame within 30 frames of even spacing.
  std::vector<double> clean(kLeadInFrames * kFrame, 0.0);
  for (std::size_t u = 1, begin = 0; u <= kUtterances; ++u) {
    const std::size_t nominal = speech_frames * u / kUtterances;
    std::size_t end = nominal;
    for (std::size_t f = nominal - 30; u < kUtterances && f <= nominal + 30; ++f) {
      if (frame_power[f] < frame_power[end]) end = f;
    }
    clean.insert(clean.end(), speech.begin() + begin * kFrame, speech.begin() + end * kFrame);
    clean.insert(clean.end(), kPauseFrames * kFrame, 0.0);
    begin = end;
  }
  const std::size_t frames = clean.size() / kFrame;

  // Active speech level: the mean power of speech frames no more than 40 dB
  // below the loudest.
  const double loudest = *std::max_element(frame_power.begin(), frame_power.end());
  double sum = 0.0;
  int count = 0;
  for (double p : frame_power) {
    if (p > loudest * 1e-4) {
      sum += p;
      ++count;
    }
  }
  const double level = sum / count;
  const double speech_gain =
      std::pow(10.0, (kFullScaleSineDb + speech_dbov) / 20.0) / std::sqrt(level);
  for (auto& v : clean) v *= speech_gain;
  const double active_power = level * speech_gain * speech_gain;

  Material m;
  m.lead_in_frames = kLeadInFrames;
  m.noise = noise_signal(noise, clean.size(), speech);
  if (noise != Noise::None) {
    const double np = power(m.noise, 0, m.noise.size());
    const double g = std::sqrt(active_power / std::pow(10.0, snr_db / 10.0) / np);
    for (auto& v : m.noise) v *= g;
  }
  for (std::size_t n = 0; n < clean.size(); ++n) {
    const double v = std::round(clean[n] + m.noise[n]);
    m.pcm.push_back(static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0)));
  }

  // Labels, for the samples each encoder frame codes (5 ms behind its input,
  // the analysis' look-ahead), by level and by the distance in frames to the
  // nearest frame of audible speech.
  std::vector<double> coded(frames);
  std::vector<int> distance(frames, 1 << 20);
  for (std::size_t f = 0; f < frames; ++f) {
    coded[f] = power(clean, f == 0 ? 0 : f * kFrame - 40, f * kFrame + 40);
    if (coded[f] > active_power * 1e-4) distance[f] = 0;
    if (f > 0) distance[f] = std::min(distance[f], distance[f - 1] + 1);
  }
  for (std::size_t f = frames - 1; f-- > 0;)
    distance[f] = std::min(distance[f], distance[f + 1] + 1);
  for (std::size_t f = 0; f < frames; ++f) {
    m.labels.push_back(coded[f] >= active_power * std::pow(10.0, -1.5) ? Label::Strong
                       : distance[f] == 0                              ? Label::Weak
                       : distance[f] > 30                              ? Label::Pause
                                                                       : Label::Near);
  }
  return m;
}

}  // namespace labelled
