#include "codec/decoder/schedule.h"

#include <cstring>

#include "codec/common/lp_filter.h"
#include "codec/decoder/output_stage.h"
#include "codec/decoder/postfilter_parts.h"
#include "codec/decoder/synthesis.h"
#include "codec/simd/lanes.h"
#include "codec/simd/lp_synthesis_steps.h"
#include "codec/simd/simd.h"

namespace g729a {

namespace {

#if defined(G729A_HAVE_AVX2)
// A subframe's post-filter residual and pitch sums, formed interleaved with the
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
struct PitchSumsInterleaved {
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
      tilt_compensation(tilt, SubframeIn(r, 40), tilt_memory, SubframeOut(p, 40));
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
    tilt_compensation(tilt, pitched, tilt_memory, SubframeOut(p, 40));
  }
};

// synthesis_2_with_postfilter_1_synthesis's vector path.
// Interleaved with them, the first subframe's gain-control energies: its post-filter
// output y1 and its synthesis, each sum from 0 in increasing n.
template <bool kPitched>
G729A_AVX2 void synthesis_2_with_postfilter_1_synthesis_avx2(const LpVector& a0, const double* x0,
                                                             const LpVector& a1, const double* x1,
                                                             const PostfilterFilters& f, int T,
                                                             DecoderState& state, double* y0,
                                                             double* y1, PostfilterStage& stage,
                                                             GainEnergies& first) {
  int t_max;
  PitchSumsInterleaved<kPitched> sums;
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

// synthesis_1_with_excitation_2_and_postfilter_1_pitch's vector path: the synthesis, both tilt
// responses and a repeat of the synthesis into scratch memory make four
// lanes.
// Interleaved with them too, the next subframe's adaptive-codebook vector, four
// samples every fourth step, two steps before the residual's four (the two
// heavy steps together held the synthesis back); its gains are applied once
// all of it stands, since its later samples read its earlier ones
// unweighted.
template <bool kPitched>
G729A_AVX2 void synthesis_1_with_excitation_2_and_postfilter_1_pitch_avx2(
    const std::array<LpVector, 2>& A, double* x, int T, const PendingExcitation* next,
    DecoderState& state, double* y, std::array<PostfilterFilters, 2>& f, PostfilterStage& stage) {
  std::array<ResponseBuffer, 2> buf;
  filters_prepare(A, f, buf);
  double* h0 = buf[0].data() + 10;
  double* h1 = buf[1].data() + 10;
  alignas(32) std::array<double, 10 + kSubframeLength> scratch;
  for (int i = 0; i < 10; ++i) scratch[i] = y[i - 10];
  const SynthesisRun runs[4] = {
      {&A[0], x, y}, {&f[0].Ad, h0, h0}, {&f[1].Ad, h1, h1}, {&A[0], x, scratch.data() + 10}};
  int t_max;
  PitchSumsInterleaved<kPitched> sums;
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

void synthesis_1_with_excitation_2_and_postfilter_1_pitch(const std::array<LpVector, 2>& A,
                                                          double* x, FrameKind kind, int T,
                                                          const PendingExcitation* next,
                                                          DecoderState& state, double* y,
                                                          std::array<PostfilterFilters, 2>& f,
                                                          PostfilterStage& stage) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2 && (next == nullptr || adaptive_groups_apart(next->plan))) {
    if (kind == FrameKind::Speech)
      return synthesis_1_with_excitation_2_and_postfilter_1_pitch_avx2<true>(A, x, T, next, state,
                                                                             y, f, stage);
    return synthesis_1_with_excitation_2_and_postfilter_1_pitch_avx2<false>(A, x, T, next, state, y,
                                                                            f, stage);
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

void synthesis_2_with_postfilter_1_synthesis(const LpVector& a0, const double* x0,
                                             const LpVector& a1, const double* x1,
                                             const PostfilterFilters& f, FrameKind kind, int T,
                                             DecoderState& state, double* y0, double* y1,
                                             PostfilterStage& stage, GainEnergies& first) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) {
    if (kind == FrameKind::Speech) {
      return synthesis_2_with_postfilter_1_synthesis_avx2<true>(a0, x0, a1, x1, f, T, state, y0, y1,
                                                                stage, first);
    }
    return synthesis_2_with_postfilter_1_synthesis_avx2<false>(a0, x0, a1, x1, f, T, state, y0, y1,
                                                               stage, first);
  }
#endif
  double* syn = state.synthesis_buffer.data() + kSynthesisHistory;
  lp_synthesis_pair(a0, x0, y0, a1, x1, y1, kSubframeLength);
  for (int n = 0; n < kSubframeLength; ++n) syn[kSubframeLength + n] = y0[n];
  postfilter_front(state, f, kind, T, 1, stage);
  first = gain_energies(SubframeIn(syn, 40), SubframeIn(y1, 40));
}

void synthesis_postfilter_and_output(DecoderState& state, const FrameSynthesis& f,
                                     std::span<std::int16_t, kFrameLength> pcm) {
  const auto& A = f.A;
  const auto& T = f.T;
  const FrameKind kind = f.kind;
  const bool flush = f.flush;
  double* exc = state.excitation_buffer.data() + kExcitationHistory;
  // The first subframe's synthesis runs interleaved with the tilt impulse responses.
  std::array<double, 50> first_buf;  // ten past outputs, then the subframe
  for (int i = 0; i < 10; ++i) first_buf[i] = state.synthesis_memory[i];
  std::array<PostfilterFilters, 2> filters;
  PostfilterStage first;
  synthesis_1_with_excitation_2_and_postfilter_1_pitch(
      A, exc, kind, T[0], f.second_pending ? &f.second : nullptr, state, first_buf.data() + 10,
      filters, first);
  keep_synthesis_memory(std::span<const double, 10>(first_buf.data() + 40, 10), flush,
                        state.synthesis_memory);
  postfilter_continue(state, first);
  // The second subframe's synthesis interleaved with the first's post-filter
  // synthesis, and the second's post-filter front interleaved with both.
  std::array<double, 50> buf;  // ten past outputs, then the second subframe
  for (int i = 0; i < 10; ++i) buf[i] = state.synthesis_memory[i];
  PostfilterStage second;
  GainEnergies first_energies;
  synthesis_2_with_postfilter_1_synthesis(A[1], exc + 40, first.Ad, first.p.data(), filters[1],
                                          kind, T[1], state, buf.data() + 10, first.y.data() + 10,
                                          second, first_energies);
  keep_synthesis_memory(std::span<const double, 10>(buf.data() + 40, 10), flush,
                        state.synthesis_memory);
  postfilter_keep_memory(first, state);
  const GainControl first_control = gain_control_from(first_energies, state.agc_gain);

  // Each subframe's gain control runs inside the output filter's half that
  // takes it: the running gain's chain and the filter's overlap. The second
  // subframe's energies form interleaved with its post-filter synthesis.
  postfilter_continue(state, second);
  std::array<double, 80> w;
  GainEnergies second_energies;
  postfilter_2_synthesis_with_output_filter_1(
      second.Ad, second.p.data(), second.y.data() + 10, first_control, first.y.data() + 10,
      state.synthesis_buffer.data() + kSynthesisHistory + kSubframeLength, state.agc_gain,
      state.postproc_memory, w.data(), second_energies);
  postfilter_keep_memory(second, state);
  const GainControl second_control = gain_control_from(second_energies, state.agc_gain);
  output_stage_finish_controlled(second_control, second.y.data() + 10, state.agc_gain,
                                 state.postproc_memory, w, pcm);
}

}  // namespace g729a
