#include "support/labelled_material.h"

#include <algorithm>
#include <cmath>

#include "support/test_support.h"

namespace labelled {
namespace {

constexpr int kFrame = 80;
constexpr int kLeadInFrames = 200;  // 2 s of noise alone, as at the start of a call
constexpr int kPauseFrames = 100;   // 1 s between utterances
constexpr int kUtterances = 5;
constexpr double kFullScaleSineDb = 87.30;  // 10 log10(32767^2 / 2)

// A small deterministic generator: the material must not change between runs
// or machines.
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

double frame_power(const std::vector<double>& x, std::size_t frame) {
  double e = 0.0;
  for (int n = 0; n < kFrame; ++n) e += x[frame * kFrame + n] * x[frame * kFrame + n];
  return e / kFrame;
}

// The samples the encoder's frame f codes: it runs 5 ms behind its input
// (the analysis looks ahead that far).
double coded_frame_power(const std::vector<double>& x, std::size_t frame) {
  double e = 0.0;
  const std::size_t begin = frame * kFrame >= 40 ? frame * kFrame - 40 : 0;
  for (std::size_t n = begin; n < frame * kFrame + 40; ++n) e += x[n] * x[n];
  return e / static_cast<double>(frame * kFrame + 40 - begin);
}

std::vector<double> noise_signal(Noise kind, std::size_t length,
                                 const std::vector<double>& speech) {
  std::vector<double> out(length, 0.0);
  Random rng{0x5eed1234abcdULL + static_cast<std::uint64_t>(kind)};
  switch (kind) {
    case Noise::None:
      break;
    case Noise::White:
      for (auto& v : out) v = rng.gaussian();
      break;
    case Noise::Pink: {
      // Sum of first-order low-passes spread over the band: close to 1/f.
      double b[5] = {};
      const double pole[5] = {0.99886, 0.99332, 0.96900, 0.86650, 0.55000};
      const double gain[5] = {0.0555179, 0.0750759, 0.1538520, 0.3104856, 0.5329522};
      for (auto& v : out) {
        const double w = rng.gaussian();
        double sum = 0.0;
        for (int i = 0; i < 5; ++i) {
          b[i] = pole[i] * b[i] + gain[i] * w;
          sum += b[i];
        }
        v = sum;
      }
      break;
    }
    case Noise::Rumble: {
      // Two-pole resonator near 60 Hz plus low-passed noise under 200 Hz.
      double y1 = 0.0, y2 = 0.0, l = 0.0;
      for (auto& v : out) {
        const double w = rng.gaussian();
        const double y = 1.97 * y1 - 0.9801 * y2 + 0.02 * w;  // r = 0.99, about 60 Hz
        y2 = y1;
        y1 = y;
        l = 0.85 * l + 0.15 * rng.gaussian();
        v = y + 0.5 * l;
      }
      break;
    }
    case Noise::Babble: {
      // Six talkers: the bundled speech from different starting points.
      for (int t = 0; t < 6; ++t) {
        const std::size_t offset =
            static_cast<std::size_t>(rng.uniform() * static_cast<double>(speech.size()));
        const double g = 0.7 + 0.6 * rng.uniform();
        for (std::size_t n = 0; n < length; ++n) out[n] += g * speech[(offset + n) % speech.size()];
      }
      break;
    }
  }
  return out;
}

}  // namespace

const char* noise_name(Noise noise) {
  switch (noise) {
    case Noise::None:
      return "clean";
    case Noise::White:
      return "white";
    case Noise::Pink:
      return "pink";
    case Noise::Rumble:
      return "rumble";
    case Noise::Babble:
      return "babble";
  }
  return "?";
}

double power_db(const std::vector<double>& x, std::size_t begin, std::size_t end) {
  double e = 0.0;
  for (std::size_t n = begin; n < end; ++n) e += x[n] * x[n];
  return 10.0 * std::log10(e / static_cast<double>(end - begin) + 1e-12);
}

Material make(Noise noise, double snr_db, double speech_dbov) {
  const auto raw =
      testsupport::read_pcm(std::string(G729A_SOURCE_DIR) + "/data/speech/librivox_austen_8k.raw");
  const std::vector<double> speech(raw.begin(), raw.end());
  const std::size_t speech_frames = speech.size() / kFrame;

  // Cut the speech into utterances at its quietest frames near even spacing.
  std::vector<std::size_t> cuts = {0};
  for (int u = 1; u < kUtterances; ++u) {
    const std::size_t nominal = speech_frames * u / kUtterances;
    std::size_t best = nominal;
    for (std::size_t f = nominal - 30; f <= nominal + 30; ++f) {
      if (frame_power(speech, f) < frame_power(speech, best)) best = f;
    }
    cuts.push_back(best);
  }
  cuts.push_back(speech_frames);

  // Layout: lead-in, then utterance and pause in turn.
  std::vector<double> clean;
  std::vector<bool> in_speech;
  clean.assign(static_cast<std::size_t>(kLeadInFrames) * kFrame, 0.0);
  in_speech.assign(kLeadInFrames, false);
  for (int u = 0; u < kUtterances; ++u) {
    for (std::size_t f = cuts[u]; f < cuts[u + 1]; ++f) {
      clean.insert(clean.end(), speech.begin() + f * kFrame, speech.begin() + (f + 1) * kFrame);
      in_speech.push_back(true);
    }
    clean.insert(clean.end(), static_cast<std::size_t>(kPauseFrames) * kFrame, 0.0);
    in_speech.insert(in_speech.end(), kPauseFrames, false);
  }
  const std::size_t frames = in_speech.size();

  // Active speech level: the mean power of speech frames no more than 40 dB
  // below the loudest.
  double loudest = 0.0;
  for (std::size_t f = 0; f < frames; ++f) {
    if (in_speech[f]) loudest = std::max(loudest, frame_power(clean, f));
  }
  double sum = 0.0;
  int count = 0;
  for (std::size_t f = 0; f < frames; ++f) {
    const double p = frame_power(clean, f);
    if (in_speech[f] && p > loudest * 1e-4) {
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
    const double np = std::pow(10.0, power_db(m.noise, 0, m.noise.size()) / 10.0);
    const double g = std::sqrt(active_power / std::pow(10.0, snr_db / 10.0) / np);
    for (auto& v : m.noise) v *= g;
  }
  m.pcm.resize(clean.size());
  for (std::size_t n = 0; n < clean.size(); ++n) {
    const double v = std::round(clean[n] + m.noise[n]);
    m.pcm[n] = static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0));
  }

  // Labels, for the span each encoder frame codes: distance (in frames) to
  // the nearest frame of audible speech.
  std::vector<double> power(frames);
  for (std::size_t f = 0; f < frames; ++f) power[f] = coded_frame_power(clean, f);
  std::vector<int> distance(frames, 1 << 20);
  for (std::size_t f = 0; f < frames; ++f) {
    if (power[f] > active_power * 1e-4) distance[f] = 0;
  }
  for (std::size_t f = 1; f < frames; ++f) distance[f] = std::min(distance[f], distance[f - 1] + 1);
  for (std::size_t f = frames - 1; f-- > 0;) {
    distance[f] = std::min(distance[f], distance[f + 1] + 1);
  }
  m.labels.resize(frames);
  for (std::size_t f = 0; f < frames; ++f) {
    if (power[f] >= active_power * std::pow(10.0, -1.5)) {
      m.labels[f] = Label::Strong;
    } else if (distance[f] == 0) {
      m.labels[f] = Label::Weak;
    } else {
      m.labels[f] = distance[f] > 30 ? Label::Pause : Label::Near;
    }
  }
  return m;
}

}  // namespace labelled
