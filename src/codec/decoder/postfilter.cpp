#include "codec/decoder/postfilter.h"

#include <cmath>
#include <cstring>

#include "codec/common/lanes.h"
#include "codec/common/lp_filter.h"
#include "codec/common/lp_synthesis_steps.h"
#include "codec/common/numeric.h"
#include "codec/common/simd.h"

namespace g729a {
namespace {

constexpr int kPitchHalfWidth = 3;
constexpr int kPostfilterMaxDelay = 143;
constexpr double kEnergyOffset = 0.5;
constexpr double kCurrentWeight = 0.6666666666666666;
constexpr double kDelayedWeight = 0.3333333333333333;
constexpr int kImpulseLength = 22;
constexpr double kTiltScale = 0.8;
constexpr double kAgcRise = 0.09999999999999998;

}  // namespace

namespace {

// The delays searched around T: t_min..t_max, seven of them.
void pitch_delays(int T, int& t_min, int& t_max) {
  t_min = T - kPitchHalfWidth;
  t_max = T + kPitchHalfWidth;
  if (t_max > kPostfilterMaxDelay) {
    t_max = kPostfilterMaxDelay;
    t_min = kPostfilterMaxDelay - 2 * kPitchHalfWidth;
  }
}

// The first strict maximum of corr[1 + d - t_min] over d = t_min..t_max.
// out: *best_corr; returns its delay.
int best_pitch_delay(const double* corr, int t_min, int t_max, double* best_corr) {
  double best_value = -1e38;
  int best = t_min;
  for (int d = t_min; d <= t_max; ++d) {
    if (corr[1 + d - t_min] > best_value) {
      best_value = corr[1 + d - t_min];
      best = d;
    }
  }
  *best_corr = best_value;
  return best;
}

// The filter itself, from the chosen delay, its correlation and the
// energies E_d (of the delayed residual) and E_0. in: r, best, best_corr,
// E_d, E_0; out: p.
void pitch_postfilter_apply(const double* r, int best, double best_corr, double E_d, double E_0,
                            Subframe& p) {
  const double cmax = best_corr > 0.0 ? best_corr : 0.0;

  if (cmax * cmax < E_0 * E_d * 0.5) {
    // Prediction gain below 3 dB: leave the residual alone.
    for (int n = 0; n < 40; ++n) p[n] = r[n];
  } else if (E_d < cmax) {
    weighted_sum(kCurrentWeight, r, kDelayedWeight, r - best, p.data());
  } else {
    const double g = 1.0 / (E_d + 0.5 * cmax) * (0.5 * cmax);
    weighted_sum(1.0 - g, r, g, r - best, p.data());
  }
}

}  // namespace

void pitch_postfilter(const double* r, int T, Subframe& p) {
  int t_min;
  int t_max;
  pitch_delays(T, t_min, t_max);
  // Eight lags ending at t_max (whole vectors; the extra one is shorter and
  // reads nothing older than t_max does): corr[1 + d - t_min] is delay d.
  double corr[2 * kPitchHalfWidth + 2];
  lagged_sums(r, r - (t_min - 1), 1, 40, 2 * kPitchHalfWidth + 2, corr);
  double best_corr;
  const int best = best_pitch_delay(corr, t_min, t_max, &best_corr);
  double E_d;
  double E_0;
  two_energies(r - best, r, kEnergyOffset, &E_d, &E_0);
  pitch_postfilter_apply(r, best, best_corr, E_d, E_0, p);
}

namespace {

// in: h[0..21], the An/Ad impulse response.
double tilt_from_response(const double* h) {
  double rh0 = 0.0;
  for (int n = 0; n < kImpulseLength; ++n) rh0 += h[n] * h[n];
  double rh1 = 0.0;
  for (int n = 1; n < kImpulseLength; ++n) rh1 += h[n - 1] * h[n];
  if (rh1 <= 0.0) return 0.0;
  return rh1 * kTiltScale / rh0;
}

// Ten leading zeros stand for the filter's empty memory. A subframe's worth
// of response fits, so the response can run beside a subframe's synthesis;
// only its first kImpulseLength samples are used.
using ResponseBuffer = std::array<double, 10 + kSubframeLength>;

void start_response(const LpVector& An, ResponseBuffer& buf) {
  buf.fill(0.0);
  for (int i = 0; i < 11; ++i) buf[10 + i] = An[i];
}

}  // namespace

double tilt_factor(const LpVector& An, const LpVector& Ad) {
  ResponseBuffer buf;
  start_response(An, buf);
  double* h = buf.data() + 10;
  lp_synthesis(Ad, h, h, kImpulseLength);
  return tilt_from_response(h);
}

namespace {

// Both subframes' weighted filters, and their tilt responses' starts.
// in: A; out: f (but the tilts), buf.
void filters_prepare(const std::array<LpVector, 2>& A, std::array<PostfilterFilters, 2>& f,
                     std::array<ResponseBuffer, 2>& buf) {
  for (int s = 0; s < 2; ++s) {
    bandwidth_expand(A[s], kPostfilterNumeratorPowers, f[s].An);
    bandwidth_expand(A[s], kPostfilterDenominatorPowers, f[s].Ad);
    start_response(f[s].An, buf[s]);
  }
}

}  // namespace

void postfilter_filters(const std::array<LpVector, 2>& A, const SynthesisRun* beside,
                        std::array<PostfilterFilters, 2>& f) {
  std::array<ResponseBuffer, 2> buf;
  filters_prepare(A, f, buf);
  // The impulse responses are independent of each other and of `beside`:
  // one per lane.
  double* h0 = buf[0].data() + 10;
  double* h1 = buf[1].data() + 10;
  if (beside != nullptr) {
    const SynthesisRun runs[3] = {*beside, {&f[0].Ad, h0, h0}, {&f[1].Ad, h1, h1}};
    lp_synthesis_runs(runs, kSubframeLength);
  } else {
    lp_synthesis_pair(f[0].Ad, h0, h0, f[1].Ad, h1, h1, kImpulseLength);
  }
  f[0].tilt = tilt_from_response(h0);
  f[1].tilt = tilt_from_response(h1);
}

namespace {

// Each output reads inputs only, so whole vectors of them form at once.
[[gnu::always_inline]] inline void tilt_steps(double k, const double* __restrict p, double memory,
                                              double* __restrict out) {
  out[0] = p[0] - k * memory;
  for (int n = 1; n < 40; ++n) out[n] = p[n] - k * p[n - 1];
}

void tilt_plain(double k, const double* p, double memory, double* out) {
  tilt_steps(k, p, memory, out);
}

#if defined(G729A_HAVE_AVX2)
G729A_AVX2 void tilt_avx2(double k, const double* p, double memory, double* out) {
  tilt_steps(k, p, memory, out);
}
#endif

}  // namespace

void tilt_compensation(double k, const double* p, double& memory, double* out) {
  const double previous = memory;
  memory = p[39];
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) return tilt_avx2(k, p, previous, out);
#endif
  tilt_plain(k, p, previous, out);
}

GainEnergies gain_energies(const double* x, const double* y) {
  GainEnergies e;
  two_energies(y, x, 0.0, &e.out, &e.in);
  return e;
}

GainControl gain_control_from(const GainEnergies& e, double& gain) {
  if (e.out == 0.0) {
    gain = 0.0;
    return {0.0, true};
  }
  return {e.in == 0.0 ? 0.0 : std::sqrt(e.in / e.out) * kAgcRise, false};
}

GainControl gain_control_start(const double* x, const double* y, double& gain) {
  return gain_control_from(gain_energies(x, y), gain);
}

void postfilter_front(DecoderState& state, const PostfilterFilters& f, FrameKind kind, int T, int s,
                      PostfilterStage& stage) {
  stage.Ad = f.Ad;
  const double* x = state.synthesis_buffer.data() + kSynthesisHistory + 40 * s;
  double* r = state.residual_buffer.data() + kResidualHistory + 40 * s;
  lp_residual(f.An, x, r, 40);

  if (kind == FrameKind::Speech) {
    Subframe pitched;
    pitch_postfilter(r, T, pitched);
    tilt_compensation(f.tilt, pitched.data(), state.tilt_memory, stage.p.data());
  } else {
    tilt_compensation(f.tilt, r, state.tilt_memory, stage.p.data());
  }
}

void postfilter_continue(const DecoderState& state, PostfilterStage& stage) {
  for (int i = 0; i < 10; ++i) stage.y[i] = state.postfilter_memory[i];
}

namespace {

// The pending excitation's gains (and comfort noise's pulses), once its
// adaptive vector stands at x. in: next; inout: x[0..39].
void finish_pending(const PendingExcitation& next, double* x) {
  weighted_sum(next.gain_pitch, x, next.gain_code, next.cv.data(), x);
  if (next.pulses) {
    const double E = dot_product(0.0, x, x);
    cng_add_pulses(x, E, next.cv, next.draw, next.noise_gain);
  }
}

#if defined(G729A_HAVE_AVX2)
// A subframe's post-filter residual and pitch sums, formed beside the
// synthesis of its samples: each output goes into the synthesis buffer;
// after every fourth, the residual of the four before the last four forms
// (as lp_residual forms four outputs at once, from samples stored a while
// ago), then term n of each sum for those four samples, all of whose
// samples are then known (every delay is at least 16). Lane l of the
// correlations' and the energies' vector v carries delay
// t_min - 1 + 4v + 3 - l (none beyond 143); each sum in increasing n, as
// lagged_sums and two_energies add them, so the chosen delay's energy is
// one of them. finish() takes the last four. Comfort-noise subframes
// (kPitched false) have no pitch post-filter: only the residual forms.
template <bool kPitched>
struct PitchSumsBeside {
  using V = LaneVector<4>::type;
  const double* y;   // the synthesis's outputs
  double* syn;       // the subframe in the synthesis buffer, ten exact samples before it
  double* r;         // the subframe in the residual buffer, 146 samples before it
  const double* an;  // the residual filter
  int t_min;
  V c0, c1, q0, q1;
  double e0;

  [[gnu::always_inline]] void start(const LpVector& a) {
    an = a.data();
    c0 = V{0.0, 0.0, 0.0, 0.0};
    c1 = c0;
    q0 = V{kEnergyOffset, kEnergyOffset, kEnergyOffset, kEnergyOffset};
    q1 = q0;
    e0 = kEnergyOffset;
  }
  // Residual samples n0..n0 + 3 and their terms.
  [[gnu::always_inline]] void four(int n0) {
    V v;
    residual_outputs<4>(an, syn + n0, v);
    std::memcpy(r + n0, &v, sizeof v);
    if constexpr (!kPitched) return;
    for (int j = 0; j < 4; ++j) {
      const int n = n0 + j;
      const double rv = v[j];
      const V rn{rv, rv, rv, rv};
      V l0, l1;
      std::memcpy(&l0, r + n - (t_min - 1) - 3, sizeof l0);
      std::memcpy(&l1, r + n - (t_min - 1) - 7, sizeof l1);
      c0 = c0 + rn * l0;
      c1 = c1 + rn * l1;
      q0 = q0 + l0 * l0;
      q1 = q1 + l1 * l1;
      e0 += rv * rv;
    }
  }
  [[gnu::always_inline]] void step(int n) {
    syn[n] = y[n];
    if (n % 4 == 3 && n >= 7) four(n - 7);
  }
  // The rest of postfilter_front from the sums. in: t_max, tilt; inout:
  // tilt_memory; out: p.
  [[gnu::always_inline]] void finish(int t_max, double tilt, double& tilt_memory, double* p) {
    four(kSubframeLength - 4);
    if constexpr (!kPitched) {
      tilt_compensation(tilt, r, tilt_memory, p);
      return;
    }
    double corr[8];
    double energy[8];
    for (int l = 0; l < 4; ++l) {
      corr[3 - l] = c0[l];
      corr[7 - l] = c1[l];
      energy[3 - l] = q0[l];
      energy[7 - l] = q1[l];
    }
    double best_corr;
    const int best = best_pitch_delay(corr, t_min, t_max, &best_corr);
    Subframe pitched;
    pitch_postfilter_apply(r, best, best_corr, energy[best - t_min + 1], e0, pitched);
    tilt_compensation(tilt, pitched.data(), tilt_memory, p);
  }
};

// synthesis_pair_beside_front's vector path.
// Beside them, the first subframe's gain-control energies: its post-filter
// output y1 and its synthesis, each sum from 0 in increasing n.
template <bool kPitched>
G729A_AVX2 void pair_beside_front_avx2(const LpVector& a0, const double* x0, const LpVector& a1,
                                       const double* x1, const PostfilterFilters& f, int T,
                                       DecoderState& state, double* y0, double* y1,
                                       PostfilterStage& stage, GainEnergies& first) {
  int t_max;
  PitchSumsBeside<kPitched> sums;
  pitch_delays(T, sums.t_min, t_max);
  sums.y = y0;
  sums.syn = state.synthesis_buffer.data() + kSynthesisHistory + kSubframeLength;
  sums.r = state.residual_buffer.data() + kResidualHistory + kSubframeLength;
  sums.start(f.An);
  const double* first_syn = state.synthesis_buffer.data() + kSynthesisHistory;
  double out_energy = 0.0;
  double in_energy = 0.0;
  pair_synthesis_steps(a0.data(), x0, y0, a1.data(), x1, y1, kSubframeLength, [&](int n) {
    sums.step(n);
    out_energy += y1[n] * y1[n];
    in_energy += first_syn[n] * first_syn[n];
  });
  first = {out_energy, in_energy};
  stage.Ad = f.Ad;
  sums.finish(t_max, f.tilt, state.tilt_memory, stage.p.data());
}

// first_synthesis_beside_front's vector path: the synthesis, both tilt
// responses and a repeat of the synthesis into scratch memory make four
// lanes.
// Beside them too, the next subframe's adaptive-codebook vector, four
// samples every fourth step, two steps before the residual's four (the two
// heavy steps together held the synthesis back); its gains are applied once
// all of it stands, since its later samples read its earlier ones
// unweighted.
template <bool kPitched>
G729A_AVX2 void first_beside_front_avx2(const std::array<LpVector, 2>& A, double* x, int T,
                                        const PendingExcitation* next, DecoderState& state,
                                        double* y, std::array<PostfilterFilters, 2>& f,
                                        PostfilterStage& stage) {
  std::array<ResponseBuffer, 2> buf;
  filters_prepare(A, f, buf);
  double* h0 = buf[0].data() + 10;
  double* h1 = buf[1].data() + 10;
  alignas(32) std::array<double, 10 + kSubframeLength> scratch;
  for (int i = 0; i < 10; ++i) scratch[i] = y[i - 10];
  const SynthesisRun runs[4] = {
      {&A[0], x, y}, {&f[0].Ad, h0, h0}, {&f[1].Ad, h1, h1}, {&A[0], x, scratch.data() + 10}};
  int t_max;
  PitchSumsBeside<kPitched> sums;
  pitch_delays(T, sums.t_min, t_max);
  sums.y = y;
  sums.syn = state.synthesis_buffer.data() + kSynthesisHistory;
  sums.r = state.residual_buffer.data() + kResidualHistory;
  sums.start(f[0].An);
  double* next_x = x + kSubframeLength;
  if (next != nullptr) {
    four_synthesis_steps(runs, kSubframeLength, [&](int n) {
      sums.step(n);
      if (n % 4 == 1) adaptive_codebook_group<4>(next->plan, n - 1, next_x);
    });
    finish_pending(*next, next_x);
  } else {
    four_synthesis_steps(runs, kSubframeLength, [&](int n) { sums.step(n); });
  }
  f[0].tilt = tilt_from_response(h0);
  f[1].tilt = tilt_from_response(h1);
  stage.Ad = f[0].Ad;
  sums.finish(t_max, f[0].tilt, state.tilt_memory, stage.p.data());
}
#endif

}  // namespace

void first_synthesis_beside_front(const std::array<LpVector, 2>& A, double* x, FrameKind kind,
                                  int T, const PendingExcitation* next, DecoderState& state,
                                  double* y, std::array<PostfilterFilters, 2>& f,
                                  PostfilterStage& stage) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2 && (next == nullptr || adaptive_groups_apart(next->plan))) {
    if (kind == FrameKind::Speech)
      return first_beside_front_avx2<true>(A, x, T, next, state, y, f, stage);
    return first_beside_front_avx2<false>(A, x, T, next, state, y, f, stage);
  }
#endif
  if (next != nullptr) {
    double* next_x = x + kSubframeLength;
    adaptive_codebook_fill(next->plan, next_x);
    finish_pending(*next, next_x);
  }
  const SynthesisRun run = {&A[0], x, y};
  postfilter_filters(A, &run, f);
  double* syn = state.synthesis_buffer.data() + kSynthesisHistory;
  for (int n = 0; n < kSubframeLength; ++n) syn[n] = y[n];
  postfilter_front(state, f[0], kind, T, 0, stage);
}

void synthesis_pair_beside_front(const LpVector& a0, const double* x0, const LpVector& a1,
                                 const double* x1, const PostfilterFilters& f, FrameKind kind,
                                 int T, DecoderState& state, double* y0, double* y1,
                                 PostfilterStage& stage, GainEnergies& first) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) {
    if (kind == FrameKind::Speech) {
      return pair_beside_front_avx2<true>(a0, x0, a1, x1, f, T, state, y0, y1, stage, first);
    }
    return pair_beside_front_avx2<false>(a0, x0, a1, x1, f, T, state, y0, y1, stage, first);
  }
#endif
  double* syn = state.synthesis_buffer.data() + kSynthesisHistory;
  lp_synthesis_pair(a0, x0, y0, a1, x1, y1, kSubframeLength);
  for (int n = 0; n < kSubframeLength; ++n) syn[kSubframeLength + n] = y0[n];
  postfilter_front(state, f, kind, T, 1, stage);
  first = gain_energies(syn, y1);
}

void postfilter_keep_memory(const PostfilterStage& stage, DecoderState& state) {
  for (int i = 0; i < 10; ++i) state.postfilter_memory[i] = stage.y[40 + i];
  flush_memory(state.postfilter_memory);
}

}  // namespace g729a
