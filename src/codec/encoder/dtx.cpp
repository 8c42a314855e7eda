#include "codec/encoder/dtx.h"

#include <algorithm>
#include <cmath>

#include "codec/common/adaptive_codebook.h"
#include "codec/common/lp.h"
#include "codec/common/lp_filter.h"
#include "codec/common/lsf.h"
#include "codec/common/tables.h"
#include "codec/decoder/cng_excitation.h"
#include "codec/decoder/sid_decode.h"
#include "codec/encoder/frame_trace.h"
#include "codec/encoder/lp_analysis.h"
#include "codec/encoder/lsp_quantizer.h"
#include "codec/encoder/subframe.h"
#include "codec/maths/portable_math.h"

namespace g729a {
namespace {

// SID frames are at least this many frames apart.
constexpr int kSidMinSpacing = 3;
// A new SID frame when the last one's envelope leaves this much more
// residual than the noise's own envelope would (about 1.8 dB)...
constexpr double kSpectralChange = 1.5;
// ... or when the level has moved by this many energy steps.
constexpr int kEnergyChange = 2;

constexpr auto kSpeech = static_cast<std::int32_t>(FrameKind::Speech);
constexpr auto kSid = static_cast<std::int32_t>(FrameKind::Sid);

// a' R a for the autocorrelation r. in: a, r.
double residual_energy(const LpVector& a, std::span<const double, 11> r) {
  double e = 0.0;
  for (int i = 0; i <= kLpOrder; ++i) {
    double row = 0.0;
    for (int j = 0; j <= kLpOrder; ++j) row += a[j] * r[i > j ? i - j : j - i];
    e += a[i] * row;
  }
  return e;
}

// First-stage rows kept per predictor mode for the exact search.
constexpr int kStage1Kept = 4;

// The SID envelope (switch, stage-1 and stage-2 indices) whose decoded LSFs
// are closest to target under the weights w. Per mode the first-stage rows
// nearest the target's codebook vector (the prediction undone) are kept,
// then every second-stage index with them is reconstructed exactly as a
// decoder does and measured. in: target, w, memory; out: sid slots 0..2.
void sid_search_lsf(std::span<const double, 10> target, std::span<const double, 10> w,
                    const LsfMaMemory& memory, FrameParameters& sid) {
  double best = 1e38;
  for (int mode = 0; mode < 2; ++mode) {
    const auto& coef = cng_ma_coef[mode];
    const double* const rows[4] = {coef[0], coef[1], coef[2], coef[3]};
    const double* sum = cng_ma_coef_sum[mode];
    std::array<double, 10> t;
    for (int j = 0; j < 10; ++j) {
      double p = 0.0;
      for (int k = 0; k < 4; ++k) p += memory[k][j] * coef[k][j];
      t[j] = (target[j] - p) / sum[j];
    }
    std::array<int, kStage1Kept> kept;
    std::array<double, kStage1Kept> kept_d;
    kept.fill(0);
    kept_d.fill(1e38);
    for (int s1 = 0; s1 < 32; ++s1) {
      const double* row = lsf_cb1[sid_stage1_map[s1]];
      double d = 0.0;
      for (int j = 0; j < 10; ++j) d += w[j] * sum[j] * sum[j] * (row[j] - t[j]) * (row[j] - t[j]);
      // Insertion into the sorted short list; equal distances keep the lower index first.
      for (int k = 0; k < kStage1Kept; ++k) {
        if (d < kept_d[k]) {
          for (int m = kStage1Kept - 1; m > k; --m) {
            kept_d[m] = kept_d[m - 1];
            kept[m] = kept[m - 1];
          }
          kept_d[k] = d;
          kept[k] = s1;
          break;
        }
      }
    }
    for (int s1 : kept) {
      for (int s2 = 0; s2 < 16; ++s2) {
        LsfVector buf;
        sid_codebook_vector(s1, s2, buf);
        LsfVector lsf;
        lsf_ma_prediction(buf, rows, sum, memory, lsf);
        lsf_stabilize(lsf);
        double d = 0.0;
        for (int j = 0; j < 10; ++j) d += w[j] * (lsf[j] - target[j]) * (lsf[j] - target[j]);
        if (d < best) {
          best = d;
          sid.slots[kSlotSidSwitch] = mode;
          sid.slots[kSlotSidStage1] = s1;
          sid.slots[kSlotSidStage2] = s2;
        }
      }
    }
  }
}

// The mean of the history's autocorrelations. in: history, count; out: r.
void mean_autocorrelation(const DtxState& state, std::span<double, 11> r) {
  for (int k = 0; k <= kLpOrder; ++k) {
    double sum = 0.0;
    for (int i = 0; i < state.history_count; ++i) sum += state.r_history[i][k];
    r[k] = sum / state.history_count;
  }
}

// Whether the noise differs enough from what the last SID frame described.
// in: state (history and last SID).
bool noise_changed(const DtxState& state) {
  std::array<double, 11> r;
  mean_autocorrelation(state, r);
  LpVector a;
  std::array<double, 10> rc;
  const double own = levinson_durbin(r, a, rc);
  const double through_sid = residual_energy(state.sid_filter, r);
  if (through_sid > kSpectralChange * own) return true;
  const int index = sid_energy_index(through_sid / kWindowEnergy);
  return std::abs(index - state.sid_energy_index) >= kEnergyChange;
}

// The encoder's filters and histories through one comfort-noise frame,
// whose excitation is in place: the quantized envelope moves to sid_lsp,
// the weighted speech and the target filter's memory follow the input and
// the noise as they would after a speech frame with this excitation.
// in: lsp_new; inout: state.
void follow_comfort_noise(std::span<const double, 10> lsp_new, EncoderState& state) {
  std::array<LpVector, 2> aq;
  std::array<LpVector, 2> ap;
  lsp_interpolate(state.lsp_previous_quantized, state.dtx_state.sid_lsp, aq);
  weight_filter(aq[0], ap[0]);
  weight_filter(aq[1], ap[1]);
  for (int i = 0; i < 10; ++i) {
    state.lsp_previous[i] = lsp_new[i];
    state.lsp_previous_quantized[i] = state.dtx_state.sid_lsp[i];
  }
  const double* speech = state.speech_buffer.data() + kSpeechFrame;
  const double* exc = state.excitation_buffer.data() + kExcitationFrame;
  double* wsp = state.weighted_speech_buffer.data() + kWeightedSpeechFrame;
  const std::array<double, 40> none{};
  const std::array<double, 10> zero{};
  for (int s = 0; s < 2; ++s) {
    std::array<double, 40> res;
    lp_residual(aq[s], speech + 40 * s, res.data(), 40);
    weighted_speech(res.data(), ap[s], state.weighted_speech_filter_memory, wsp + 40 * s);
    std::array<double, 40> x;
    std::array<double, 40> y;
    weighted_synthesis(res.data(), ap[s], state.target_filter_memory, x.data());
    weighted_synthesis(exc + 40 * s, ap[s], zero, y.data());
    update_target_memory(x.data(), y.data(), none.data(), 1.0, 0.0, state.target_filter_memory);
  }
  state.pitch_sharpening = kSharpeningMin;

  shift_frame_histories(state);
}

}  // namespace

void dtx_init(DtxState& state) {
  for (auto& r : state.r_history) r.fill(0.0);
  state.history_count = 0;
  state.history_next = 0;
  state.frames_since_sid = 0;
  state.sid_energy_index = 0;
  state.sid_filter.fill(0.0);
  state.sid_filter[0] = 1.0;
  state.cng_seed = kCngSeedStart;
  state.previous_frame_kind = kSpeech;
  state.sid_gain = 0.0;
  state.sid_received_gain = sid_gain_table[0];
  portable_cos_10(lsf_ma_memory_reset, state.sid_lsp);
}

void dtx_after_speech(DtxState& state) {
  state.cng_seed = kCngSeedStart;
  state.previous_frame_kind = kSpeech;
}

int sid_energy_index(double power) {
  int best = 0;
  double best_cost = 1e300;
  for (int i = 0; i < sid_gain_table_size; ++i) {
    const double g2 = sid_gain_table[i] * sid_gain_table[i];
    // Distance on a log scale: the larger of the two ratios.
    const double cost = g2 > power ? g2 / std::max(power, 1e-12) : power / g2;
    if (cost < best_cost) {
      best_cost = cost;
      best = i;
    }
  }
  return best;
}

void sid_quantize(std::span<const double, 11> r_mean,
                  std::span<const std::array<double, kLpOrder + 1>> history,
                  const LsfMaMemory& memory, std::span<const double, 10> lsp_fallback,
                  FrameParameters& sid, LpVector& sid_filter) {
  sid.kind = FrameKind::Sid;
  sid.slots.fill(0);
  LpVector a;
  std::array<double, 10> rc;
  levinson_durbin(r_mean, a, rc);
  std::array<double, 10> lsp;
  lp_to_lsp(a, lsp_fallback, lsp);
  std::array<double, 10> target;
  portable_acos_10(lsp, target);
  std::array<double, 10> w;
  lsf_weights(target, w);
  sid_search_lsf(target, w, memory, sid);

  // The envelope exactly as a decoder forms it, for the energy.
  LsfMaMemory scratch = memory;
  std::array<double, 10> sid_lsp;
  sid_lsf_decode(sid.slots[kSlotSidSwitch], sid.slots[kSlotSidStage1], sid.slots[kSlotSidStage2],
                 scratch, sid_lsp);
  lsp_to_lp(sid_lsp, sid_filter);
  double energy = 0.0;
  for (const auto& r : history) energy += residual_energy(sid_filter, r);
  energy /= static_cast<double>(history.size());
  sid.slots[kSlotSidEnergy] = sid_energy_index(energy / kWindowEnergy);
}

std::size_t encode_inactive_frame(std::span<const double, 11> r,
                                  std::span<const double, 10> lsp_new, EncoderState& state,
                                  std::span<std::uint8_t, kSpeechFrameBytes> frame) {
  DtxState& dtx = state.dtx_state;
  const bool after_speech = dtx.previous_frame_kind == kSpeech;
  if (after_speech) {
    dtx.history_count = 0;
    dtx.history_next = 0;
  }
  for (int k = 0; k <= kLpOrder; ++k) dtx.r_history[dtx.history_next][k] = r[k];
  dtx.history_next = (dtx.history_next + 1) % kDtxHistory;
  dtx.history_count = std::min(dtx.history_count + 1, kDtxHistory);
  ++dtx.frames_since_sid;

  const bool send_sid =
      after_speech || (dtx.frames_since_sid >= kSidMinSpacing && noise_changed(dtx));
  std::size_t bytes = 0;
  if (send_sid) {
    std::array<double, 11> r_mean;
    mean_autocorrelation(dtx, r_mean);
    FrameParameters sid;
    sid_quantize(
        r_mean,
        std::span<const std::array<double, kLpOrder + 1>>(dtx.r_history.data(), dtx.history_count),
        state.lsf_ma_memory, state.lsp_previous, sid, dtx.sid_filter);
    // The decoder's own reconstruction advances the predictor memory.
    sid_lsf_decode(sid.slots[kSlotSidSwitch], sid.slots[kSlotSidStage1], sid.slots[kSlotSidStage2],
                   state.lsf_ma_memory, dtx.sid_lsp);
    dtx.sid_energy_index = sid.slots[kSlotSidEnergy];
    dtx.sid_received_gain = sid_gain_table[dtx.sid_energy_index];
    sid_gain_take(dtx.previous_frame_kind, dtx.sid_received_gain, dtx.sid_gain);
    dtx.frames_since_sid = 0;
    pack_sid_frame(sid, frame.first<kSidFrameBytes>());
    bytes = kSidFrameBytes;
  } else {
    sid_gain_smooth(dtx.sid_received_gain, dtx.sid_gain);
  }
  comfort_noise_excitation(state.excitation_buffer.data() + kExcitationFrame, dtx.cng_seed,
                           dtx.sid_gain);
  dtx.previous_frame_kind = kSid;
  follow_comfort_noise(lsp_new, state);
  return bytes;
}

}  // namespace g729a
