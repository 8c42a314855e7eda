// Four features per frame, each compared with a background estimate: the
// full-band and low-band energies, the LSFs' distance from the background
// spectrum and the zero-crossing rate. The background learns only from
// frames judged inactive; a minimum tracker lets it follow a noise that
// grows louder and stays. Hangover keeps word endings and short gaps.
#include "codec/encoder/vad.h"

#include <algorithm>
#include <cmath>

#include "codec/common/lsf.h"
#include "codec/common/tables.h"
#include "codec/encoder/dtx.h"
#include "codec/maths/portable_math.h"

namespace g729a {
namespace {

// Low-pass FIR of 11 taps, cut-off 1 kHz (Hamming-windowed sinc, unit DC
// gain): its output energy is h' R h over the autocorrelation.
constexpr double kLowPass[11] = {-0.00387132, 0.0,        0.03208780, 0.11670862,
                                 0.22070119,  0.26874743, 0.22070119, 0.11670862,
                                 0.03208780,  0.0,        -0.00387132};

constexpr double kEnergyFloorDb = 24.0;  // power below this counts as silence
constexpr double kInitialBackground = 10.0;
constexpr double kInitialSpeechLevel = 60.0;
constexpr int kBlockFrames = 64;         // minimum tracker block
constexpr double kEnergyMargin = 3.0;    // dB over the background
constexpr double kQuietLevel = 40.0;     // below it the margin widens...
constexpr double kQuietSlope = 0.35;     // ... by this much per dB
constexpr double kDistanceMargin = 0.1;  // a spectrum unlike the background's...
constexpr double kDistanceEnergy = 0.5;  // ... with this share of the margin
constexpr int kHangoverAfter = 8;        // a run this long earns...
constexpr int kHangoverFrames = 1;       // ... this many frames of hangover
constexpr double kSameSpectrum = 0.03;
constexpr double kWanderFactor = 2.5;
constexpr double kLowSnr = 10.0;  // dB between speech and background
constexpr double kMidSnr = 10.0;
constexpr int kLongHangover = 6;
constexpr int kMidHangover = 1;
constexpr double kRescueLift = 2.0;  // from a quietest frame to the mean
constexpr double kLearnRate = 0.1;
constexpr double kFallRate = 0.2;

double power_db(double power) {
  return 10.0 * portable_log10(power + 1.0);
}

}  // namespace

void vad_init(VadState& state) {
  state.hangover = 0;
  state.active_run = 0;
  state.block_frames = 0;
  state.energy_bg = kInitialBackground;
  state.low_bg = kInitialBackground;
  state.speech_level = kInitialSpeechLevel;
  state.lsf_bg = lsf_ma_memory_reset;
  state.block_min = 1e9;
  state.block_low = 0.0;
  state.previous_block_min = 1e9;
  state.previous_block_low = 0.0;
  state.block_lsf = lsf_ma_memory_reset;
  state.previous_block_lsf = lsf_ma_memory_reset;
  state.last = VadFeatures{};
  state.active = true;
}

void vad_features(std::span<const double, 11> r, std::span<const double, 10> lsp,
                  const double* frame, VadFeatures& features) {
  // The window weighs the past most; the frame and its look-ahead alone
  // show an onset sooner.
  double recent = 0.0;
  for (int n = 0; n < kFrameLength + kLookahead; ++n) recent += frame[n] * frame[n];
  features.energy = power_db(std::max(r[0] / kWindowEnergy, recent / (kFrameLength + kLookahead)));
  double low = 0.0;
  for (int i = 0; i < 11; ++i) {
    for (int j = 0; j < 11; ++j) low += kLowPass[i] * kLowPass[j] * r[i > j ? i - j : j - i];
  }
  features.low = power_db(std::max(low, 0.0) / kWindowEnergy);
  portable_acos_10(lsp, features.lsf);
  features.distance = 0.0;
}

bool vad_decide(const VadFeatures& features, VadState& state) {
  VadFeatures f = features;
  f.distance = 0.0;
  for (int i = 0; i < 10; ++i) {
    const double d = f.lsf[i] - state.lsf_bg[i];
    f.distance += d * d;
  }
  state.last = f;

  // The margin grows as the background gets quieter: near digital silence
  // small level changes mean nothing.
  const double margin = kEnergyMargin + std::max(0.0, kQuietLevel - state.energy_bg) * kQuietSlope;
  const double de = f.energy - state.energy_bg;
  const double dl = f.low - state.low_bg;
  // A level rise with the background's own spectrum is the noise wandering,
  // unless it is large.
  const bool own_spectrum = f.distance < kSameSpectrum;
  const double rise = std::max(de, dl);
  const bool raw = f.energy > kEnergyFloorDb &&
                   ((rise > margin && !own_spectrum) || rise > kWanderFactor * margin ||
                    (f.distance > kDistanceMargin && de > kDistanceEnergy * margin));
  state.active_run = raw ? state.active_run + 1 : 0;
  if (raw && de > margin) state.speech_level += kLearnRate * (f.energy - state.speech_level);
  // The nearer speech comes to the noise, the more of its quiet parts hide
  // in it: the hangover grows as the signal-to-noise ratio falls.
  const double snr = state.speech_level - state.energy_bg;
  const int hangover = snr < kLowSnr   ? kLongHangover
                       : snr < kMidSnr ? kMidHangover
                                       : kHangoverFrames;
  if (state.active_run >= kHangoverAfter) state.hangover = hangover;
  const bool active = raw || state.hangover > 0;
  if (!raw && state.hangover > 0) --state.hangover;

  // Only frames at the background's level teach it: a louder frame let
  // through as wandering noise may be the quiet start of speech.
  if (!active && rise <= margin) {
    const double k = f.energy < state.energy_bg ? kFallRate : kLearnRate;
    state.energy_bg += k * (f.energy - state.energy_bg);
    state.low_bg += k * (f.low - state.low_bg);
    for (int i = 0; i < 10; ++i) state.lsf_bg[i] += kLearnRate * (f.lsf[i] - state.lsf_bg[i]);
  }

  // A noise that came up and stays: when no frame of the last two blocks
  // came near the background, their quietest frame becomes it.
  if (f.energy < state.block_min) {
    state.block_min = f.energy;
    state.block_low = f.low;
    state.block_lsf = f.lsf;
  }
  if (++state.block_frames == kBlockFrames) {
    const double quietest = std::min(state.block_min, state.previous_block_min);
    const bool newer = state.block_min < state.previous_block_min;
    if (quietest > state.energy_bg + margin && state.previous_block_min < 1e9) {
      state.energy_bg = quietest + kRescueLift;
      state.low_bg = (newer ? state.block_low : state.previous_block_low) + kRescueLift;
      state.lsf_bg = newer ? state.block_lsf : state.previous_block_lsf;
    }
    state.previous_block_min = state.block_min;
    state.previous_block_low = state.block_low;
    state.previous_block_lsf = state.block_lsf;
    state.block_min = 1e9;
    state.block_frames = 0;
  }
  state.active = active;
  return active;
}

}  // namespace g729a
