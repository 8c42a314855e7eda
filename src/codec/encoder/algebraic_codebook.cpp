#include "codec/encoder/algebraic_codebook.h"

#include <array>
#include <cstring>

#include "codec/common/adaptive_codebook.h"
#include "codec/common/lp_filter.h"
#include "codec/common/lp_synthesis_steps.h"
#include "codec/common/simd.h"
#include "codec/encoder/subframe.h"

namespace g729a {

namespace {

constexpr int kL = kSubframeLength;
constexpr int kTrackSize = 8;
constexpr int kTrackStep = 5;

// Correlations of the sharpened response with the pre-selected signs folded
// into the cross terms, phi(i, j) = c(i, j) sign[i] sign[j] (exact), formed
// as a search reads them: it reads a few dozen of the 1600. c(i, j) sits at
// row[i][j % 5][j / 5], so the eight positions of one track against a fixed
// position lie side by side.
struct Correlations {
  const ResponseCorrelations* c;
  alignas(32) double sign[kL];
  double sr[5][kTrackSize];  // sr[t][k] = sign[t + 5k]
  double diag[kL];           // phi(i, i) = c(i, i): each sign squares to one
  double at(int i, int j) const {
    return c->row[i][j % kTrackStep][j / kTrackStep] * (sign[i] * sign[j]);
  }
  // out[k] = phi(i, t + 5k).
  void track(int i, int t, double* out) const {
    for (int k = 0; k < kTrackSize; ++k) out[k] = c->row[i][t][k] * (sign[i] * sr[t][k]);
  }
};

// Numerator A (sum of |d|) and energy E of a candidate pulse set.
struct Score {
  double a2;  // A * A
  double e;
};

// Pseudo-best of a stage: any real candidate beats it.
constexpr Score kNoScore{-1.0, 1.0};

// in: s, best; true when s.a2/s.e beats best.a2/best.e, without dividing.
bool beats(const Score& s, const Score& best) {
  return s.a2 * best.e - best.a2 * s.e > 0.0;
}

struct PulseSet {
  std::array<int, 4> m;  // positions of pulses 0..3
  Score score;
};

struct TrackLeaders {
  int first[5];
  int second[5];
};

// For every track, the position with the largest d and the largest other
// one, the lower position first among equal values: per track the plain
// scan in increasing position, with the tracks side by side in lanes (a
// selection per step rather than a branch, which would be mispredicted
// often). in: d (magnitudes); out: out.first[t], out.second[t].
template <int W>
[[gnu::always_inline]] inline void track_leaders(const std::array<double, kL>& d,
                                                 TrackLeaders& out) {
  constexpr int kLanes = 8;  // five tracks and three idle lanes
  alignas(32) double dt[kTrackSize][kLanes] = {};
  for (int k = 0; k < kTrackSize; ++k) {
    for (int t = 0; t < 5; ++t) dt[k][t] = d[t + kTrackStep * k];
  }
  alignas(32) long long first[kLanes];
  alignas(32) long long second[kLanes];
  using V = typename LaneVector<W>::type;
  using I = typename LaneIndex<W>::type;
  for (int t0 = 0; t0 < kLanes; t0 += W) {
    V best, v;
    I f, sec, kv;
    for (int l = 0; l < W; ++l) best[l] = -1.0, f[l] = 0, kv[l] = 0;
    for (int k = 0; k < kTrackSize; ++k) {
      std::memcpy(&v, dt[k] + t0, sizeof v);
      for (int l = 0; l < W; ++l) kv[l] = k;
      const auto wins = v > best;
      best = wins ? v : best;
      f = wins ? kv : f;
    }
    for (int l = 0; l < W; ++l) best[l] = -1.0, sec[l] = f[l] == 0 ? 1 : 0;
    for (int k = 0; k < kTrackSize; ++k) {
      std::memcpy(&v, dt[k] + t0, sizeof v);
      for (int l = 0; l < W; ++l) kv[l] = k;
      const auto wins = (kv != f) & (v > best);
      best = wins ? v : best;
      sec = wins ? kv : sec;
    }
    std::memcpy(first + t0, &f, sizeof f);
    std::memcpy(second + t0, &sec, sizeof sec);
  }
  for (int t = 0; t < 5; ++t) {
    out.first[t] = t + kTrackStep * static_cast<int>(first[t]);
    out.second[t] = t + kTrackStep * static_cast<int>(second[t]);
  }
}

// Track of each pulse in a pass: pulse k on track k, pulse 3 on track3.
int track_of(int pulse, int track3) {
  return pulse == 3 ? track3 : pulse;
}

// Compares candidates k = 0..7 (squared numerator a2[k], energy e[k]) one
// after the other with the best so far, as a plain loop does; returns the
// last one that won, or -1. With W > 1 each group of W is first compared
// with the best as it stands, side by side: only a group where some
// candidate wins is then gone through one by one (the candidates before
// the first winner compare exactly as they did in the group).
template <int W>
[[gnu::always_inline]] inline int scan_candidates(const double* a2, const double* e, Score& best) {
  int winner = -1;
  for (int k0 = 0; k0 < kTrackSize; k0 += W) {
    if constexpr (W > 1) {
      using V = typename LaneVector<W>::type;
      V va2, ve;
      std::memcpy(&va2, a2 + k0, sizeof va2);
      std::memcpy(&ve, e + k0, sizeof ve);
      const V t = va2 * best.e - best.a2 * ve;
      // All lanes' "t > 0" folded into lane 0 (NaN compares false, as in
      // the plain test).
      auto m = t > 0.0;
      if constexpr (W == 4) {
        m = m | __builtin_shufflevector(m, m, 2, 3, 0, 1);
        m = m | __builtin_shufflevector(m, m, 1, 0, 3, 2);
      } else {
        m = m | __builtin_shufflevector(m, m, 1, 0);
      }
      const bool any = m[0] != 0;
      if (!any) continue;
    }
    for (int k = k0; k < k0 + W; ++k) {
      if (a2[k] * best.e - best.a2 * e[k] > 0.0) {
        best = {a2[k], e[k]};
        winner = k;
      }
    }
  }
  return winner;
}

// One search of a pass. Phase 1 pairs the two best positions of the lead
// pulse's track with every position of the pair pulse's track; phase 2 tries
// every position pair of the outer and inner pulses against the winning
// pair. Each group of eight candidates is formed first, then compared in
// order. in: d, phi, track3 and the four pulse numbers; returns the set.
template <int W>
[[gnu::always_inline]] inline PulseSet search(const std::array<double, kL>& d,
                                              const Correlations& phi, const TrackLeaders& leaders,
                                              int track3, int lead, int pair, int outer,
                                              int inner) {
  const int lead_track = track_of(lead, track3);
  const int pair_track = track_of(pair, track3);
  const int outer_track = track_of(outer, track3);
  const int inner_track = track_of(inner, track3);
  const int cand[2] = {leaders.first[lead_track], leaders.second[lead_track]};

  // The lower pulse number comes first in each pair sum.
  const bool lead_first = lead < pair;
  Score best = kNoScore;
  int fixed_lead = cand[0];
  int fixed_pair = pair_track;
  alignas(32) double a2[kTrackSize];
  alignas(32) double e[kTrackSize];
  for (int c = 0; c < 2; ++c) {
    const int pl = cand[c];
    alignas(32) double cross[kTrackSize];
    phi.track(pl, pair_track, cross);
    for (int k = 0; k < kTrackSize; ++k) {
      const int pp = pair_track + kTrackStep * k;
      const int pa = lead_first ? pl : pp;
      const int pb = lead_first ? pp : pl;
      const double a = d[pa] + d[pb];
      a2[k] = a * a;
      e[k] = phi.diag[pa] + phi.diag[pb] + 2.0 * cross[k];
    }
    const int k = scan_candidates<W>(a2, e, best);
    if (k >= 0) {
      fixed_lead = pl;
      fixed_pair = pair_track + kTrackStep * k;
    }
  }

  const int fa = lead_first ? fixed_lead : fixed_pair;
  const int fb = lead_first ? fixed_pair : fixed_lead;
  const double a_fixed = d[fa] + d[fb];
  const double e_fixed = phi.diag[fa] + phi.diag[fb] + 2.0 * phi.at(fa, fb);

  // Inner-position terms do not depend on the outer position; phi is
  // symmetric, so the rows of the fixed pulses give them side by side.
  alignas(32) double inner_fa[kTrackSize];
  alignas(32) double inner_fb[kTrackSize];
  alignas(32) double outer_fa[kTrackSize];
  alignas(32) double outer_fb[kTrackSize];
  phi.track(fa, inner_track, inner_fa);
  phi.track(fb, inner_track, inner_fb);
  phi.track(fa, outer_track, outer_fa);
  phi.track(fb, outer_track, outer_fb);
  alignas(32) std::array<double, kTrackSize> inner_d;
  alignas(32) std::array<double, kTrackSize> inner_e;
  for (int k = 0; k < kTrackSize; ++k) {
    const int i = inner_track + kTrackStep * k;
    inner_d[k] = d[i];
    inner_e[k] = phi.diag[i] + 2.0 * (inner_fa[k] + inner_fb[k]);
  }

  best = kNoScore;
  int best_outer = outer_track;
  int best_inner = inner_track;
  for (int ko = 0; ko < kTrackSize; ++ko) {
    const int io = outer_track + kTrackStep * ko;
    const double a_outer = a_fixed + d[io];
    const double e_outer = e_fixed + phi.diag[io] + 2.0 * (outer_fa[ko] + outer_fb[ko]);
    alignas(32) double cross[kTrackSize];
    phi.track(io, inner_track, cross);
    for (int k = 0; k < kTrackSize; ++k) {
      const double a = a_outer + inner_d[k];
      a2[k] = a * a;
      e[k] = e_outer + inner_e[k] + 2.0 * cross[k];
    }
    const int k = scan_candidates<W>(a2, e, best);
    if (k >= 0) {
      best_outer = io;
      best_inner = inner_track + kTrackStep * k;
    }
  }

  PulseSet s;
  s.m[lead] = fixed_lead;
  s.m[pair] = fixed_pair;
  s.m[outer] = best_outer;
  s.m[inner] = best_inner;
  s.score = best;
  return s;
}

// Both passes (pulse 3 on track 3, then on track 4), two searches each.
template <int W>
[[gnu::always_inline]] inline PulseSet search_passes(const std::array<double, kL>& d,
                                                     const Correlations& phi) {
  TrackLeaders leaders;
  track_leaders<W>(d, leaders);
  PulseSet best{{0, 1, 2, 3}, kNoScore};
  for (int track3 = 3; track3 <= 4; ++track3) {
    // Search A: pulses 2 and 3 first, then 0 and 1.
    PulseSet s = search<W>(d, phi, leaders, track3, 2, 3, 0, 1);
    if (beats(s.score, best.score)) best = s;
    // Search B: pulses 3 and 0 first, then 1 and 2.
    s = search<W>(d, phi, leaders, track3, 3, 0, 1, 2);
    if (beats(s.score, best.score)) best = s;
  }
  return best;
}

PulseSet search_passes_scalar(const std::array<double, kL>& d, const Correlations& phi) {
  return search_passes<1>(d, phi);
}

#if defined(G729A_HAVE_SSE2)
PulseSet search_passes_sse2(const std::array<double, kL>& d, const Correlations& phi) {
  return search_passes<2>(d, phi);
}
#endif

#if defined(G729A_HAVE_AVX2)
G729A_AVX2 PulseSet search_passes_avx2(const std::array<double, kL>& d, const Correlations& phi) {
  return search_passes<4>(d, phi);
}
#endif

PulseSet search_all(const std::array<double, kL>& d, const Correlations& phi) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) return search_passes_avx2(d, phi);
#endif
#if defined(G729A_HAVE_SSE2)
  if (simd_path() == SimdPath::Sse2) return search_passes_sse2(d, phi);
#endif
  return search_passes_scalar(d, phi);
}

// phi(i, j) = sum over n = max(i, j)..39 of h[n - i] h[n - j], added in
// increasing n, equals phi(i + 1, j + 1) + h[39 - i] h[39 - j] with 0 outside
// the subframe: each entry is its diagonal neighbour plus one product, so the
// rows are built from position 39 down, eight positions of a track at once
// (ResponseCorrelations). The signs come in as the search reads them
// (Correlations).

// hr[t][k] = h[39 - t - 5k].
struct TrackResponse {
  double hr[5][kTrackSize];
};

void track_response(const double* h, TrackResponse& tr) {
  for (int t = 0; t < 5; ++t) {
    for (int k = 0; k < kTrackSize; ++k) tr.hr[t][k] = h[kL - 1 - t - kTrackStep * k];
  }
}

// Zero row 40 and zero ninth lanes: the neighbours past the subframe.
void clear_edges(ResponseCorrelations& c) {
  for (auto& track : c.row[kL]) {
    for (double& v : track) v = 0.0;
  }
  for (int i = 0; i < kL; ++i) c.row[i][0][kTrackSize] = 0.0;
}

// Row i from row i + 1. in: i, h, tr; inout: c.
template <int W>
[[gnu::always_inline]] inline void correlation_row(int i, const double* h, const TrackResponse& tr,
                                                   ResponseCorrelations& c) {
  if constexpr (W == 1) {
    for (int t = 0; t < 5; ++t) {
      const double* prev = t < 4 ? c.row[i + 1][t + 1] : c.row[i + 1][0] + 1;
      for (int k = 0; k < kTrackSize; ++k) c.row[i][t][k] = prev[k] + h[kL - 1 - i] * tr.hr[t][k];
    }
  } else {
    using V = typename LaneVector<W>::type;
    V hi;
    for (int l = 0; l < W; ++l) hi[l] = h[kL - 1 - i];
    for (int t = 0; t < 5; ++t) {
      const double* prev = t < 4 ? c.row[i + 1][t + 1] : c.row[i + 1][0] + 1;
      for (int k = 0; k < kTrackSize; k += W) {
        V p, hr;
        std::memcpy(&p, prev + k, sizeof p);
        std::memcpy(&hr, tr.hr[t] + k, sizeof hr);
        const V v = p + hi * hr;
        std::memcpy(c.row[i][t] + k, &v, sizeof v);
      }
    }
  }
}

template <int W>
[[gnu::always_inline]] inline void correlation_rows(const double* h, const TrackResponse& tr,
                                                    ResponseCorrelations& c) {
  for (int i = kL - 1; i >= 0; --i) correlation_row<W>(i, h, tr, c);
}

void correlation_rows_scalar(const double* h, const TrackResponse& tr, ResponseCorrelations& c) {
  correlation_rows<1>(h, tr, c);
}

#if defined(G729A_HAVE_SSE2)
void correlation_rows_sse2(const double* h, const TrackResponse& tr, ResponseCorrelations& c) {
  correlation_rows<2>(h, tr, c);
}
#endif

#if defined(G729A_HAVE_AVX2)
G729A_AVX2 void correlation_rows_avx2(const double* h, const TrackResponse& tr,
                                      ResponseCorrelations& c) {
  correlation_rows<4>(h, tr, c);
}

// The synthesis's recursion with one correlation row built beside each of
// its outputs: the rows are independent of it and fill its latency.
G729A_AVX2 void synthesis_beside_rows_avx2(const LpVector& ap, const double* x, double* y,
                                           const double* h, const TrackResponse& tr,
                                           ResponseCorrelations& c) {
  synthesis_steps(ap.data(), x, y, kL, [&](int n) { correlation_row<4>(kL - 1 - n, h, tr, c); });
}
#endif

}  // namespace

void response_correlations(const double* h, ResponseCorrelations& c) {
  alignas(32) TrackResponse tr;
  track_response(h, tr);
  clear_edges(c);
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) return correlation_rows_avx2(h, tr, c);
#endif
#if defined(G729A_HAVE_SSE2)
  if (simd_path() == SimdPath::Sse2) return correlation_rows_sse2(h, tr, c);
#endif
  correlation_rows_scalar(h, tr, c);
}

void synthesis_and_correlations(const LpVector& ap, const double* x, const double* h,
                                const std::array<double, 10>& memory, double* y,
                                ResponseCorrelations& c) {
  alignas(32) std::array<double, 10 + kL> buf;  // ten past outputs, then the subframe
  for (int k = 0; k < 10; ++k) buf[k] = memory[k];
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) {
    alignas(32) TrackResponse tr;
    track_response(h, tr);
    clear_edges(c);
    synthesis_beside_rows_avx2(ap, x, buf.data() + 10, h, tr, c);
    for (int n = 0; n < kL; ++n) y[n] = buf[10 + n];
    return;
  }
#endif
  lp_synthesis(ap, x, buf.data() + 10, kL);
  for (int n = 0; n < kL; ++n) y[n] = buf[10 + n];
  response_correlations(h, c);
}

void algebraic_codebook_search(const double* x2, double* h, int t0, double pitch_sharpening,
                               double* cw, double* y2, std::int32_t* position_index,
                               std::int32_t* sign_index) {
  pitch_sharpen(t0, pitch_sharpening, h);
  alignas(32) ResponseCorrelations c;
  response_correlations(h, c);
  algebraic_codebook_search(x2, h, c, t0, pitch_sharpening, cw, y2, position_index, sign_index);
}

void algebraic_codebook_search(const double* x2, const double* h, const ResponseCorrelations& c,
                               int t0, double pitch_sharpening, double* cw, double* y2,
                               std::int32_t* position_index, std::int32_t* sign_index) {
  // Each position's sign is fixed by its correlation; d keeps the magnitude.
  alignas(32) std::array<double, kL> d;
  alignas(32) Correlations phi;
  double* sign = phi.sign;
  backward_filter(x2, h, d.data());
  // Selects rather than branches: the signs follow the speech, so a branch
  // on them would be mispredicted about every other position.
  for (int n = 0; n < kL; ++n) {
    const bool positive = d[n] >= 0.0;
    sign[n] = positive ? 1.0 : -1.0;
    d[n] = positive ? d[n] : -d[n];
  }

  phi.c = &c;
  // Position t + 5k sits on track t at index k: no division per position.
  for (int t = 0; t < kTrackStep; ++t) {
    for (int k = 0; k < kTrackSize; ++k) {
      const int i = t + kTrackStep * k;
      phi.sr[t][k] = sign[i];
      phi.diag[i] = c.row[i][t][k];
    }
  }
  const PulseSet best = search_all(d, phi);

  std::int32_t signs = 0;
  for (int n = 0; n < kL; ++n) {
    cw[n] = 0.0;
    y2[n] = 0.0;
  }
  for (int k = 0; k < 4; ++k) {
    const int m = best.m[k];
    cw[m] = sign[m];
    if (sign[m] > 0.0) {
      signs += 1 << k;
      for (int n = m; n < kL; ++n) y2[n] = y2[n] + h[n - m];
    } else {
      for (int n = m; n < kL; ++n) y2[n] = y2[n] - h[n - m];
    }
  }
  *sign_index = signs;
  const int m3 = best.m[3];
  *position_index = best.m[0] / 5 + 8 * (best.m[1] / 5) + 64 * (best.m[2] / 5) +
                    512 * (2 * (m3 / 5) + m3 % 5 - 3);

  pitch_sharpen(t0, pitch_sharpening, cw);
}

}  // namespace g729a
