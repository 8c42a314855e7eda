#include "codec/encoder/algebraic_codebook.h"

#include <array>
#include <cstring>

#include "codec/common/adaptive_codebook.h"
#include "codec/common/lp_filter.h"
#include "codec/encoder/subframe.h"
#include "codec/simd/lp_synthesis_steps.h"
#include "codec/simd/simd.h"

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
  alignas(32) double sr[5][kTrackSize];  // sr[t][k] = sign[t + 5k]
  alignas(32) double dt[5][kTrackSize];  // dt[t][k] = d[t + 5k]
  alignas(32) double dg[5][kTrackSize];  // dg[t][k] = diag[t + 5k]
  double diag[kL];                       // phi(i, i) = c(i, i): each sign squares to one
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
  alignas(32) double dt[kTrackSize][kLanes];
  for (int k = 0; k < kTrackSize; ++k) {
    for (int t = 0; t < 5; ++t) dt[k][t] = d[t + kTrackStep * k];
    for (int t = 5; t < kLanes; ++t) dt[k][t] = 0.0;  // idle lanes, never read out
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
// after the other with the best so far; returns the last one that won, or -1.
int scan_candidates(const double* a2, const double* e, Score& best) {
  int winner = -1;
  for (int k = 0; k < kTrackSize; ++k) {
    if (beats(Score{a2[k], e[k]}, best)) {
      best = {a2[k], e[k]};
      winner = k;
    }
  }
  return winner;
}

// One search of a pass: which pulse goes on which track.
struct SearchPlan {
  int track3;
  int lead;
  int pair;
  int outer;
  int inner;
};

// Both passes (pulse 3 on track 3, then on track 4), two searches each (A:
// pulses 2 and 3 first, then 0 and 1; B: pulses 3 and 0 first, then 1 and
// 2), in the order their results are compared.
constexpr SearchPlan kSearches[4] = {
    {3, 2, 3, 0, 1}, {3, 3, 0, 1, 2}, {4, 2, 3, 0, 1}, {4, 3, 0, 1, 2}};

// A search's tracks and lead positions.
struct SearchTracks {
  int lead;
  int pair;
  int outer;
  int inner;
  int cand[2];      // the two best positions of the lead pulse's track
  bool lead_first;  // the lower pulse number comes first in each pair sum
};

[[gnu::always_inline]] inline SearchTracks search_tracks(const SearchPlan& p,
                                                         const TrackLeaders& leaders) {
  SearchTracks t;
  t.lead = track_of(p.lead, p.track3);
  t.pair = track_of(p.pair, p.track3);
  t.outer = track_of(p.outer, p.track3);
  t.inner = track_of(p.inner, p.track3);
  t.cand[0] = leaders.first[t.lead];
  t.cand[1] = leaders.second[t.lead];
  t.lead_first = p.lead < p.pair;
  return t;
}

template <int W>
using Lanes = typename LaneVector<W>::type;

// Lane vectors are filled through references, never returned: no calling
// convention depends on the target.
template <int W>
[[gnu::always_inline]] inline void lanes_load(Lanes<W>& v, const double* p) {
  std::memcpy(&v, p, sizeof v);
}

template <int W>
[[gnu::always_inline]] inline void lanes_splat(Lanes<W>& v, double x) {
  for (int l = 0; l < W; ++l) v[l] = x;
}

// Phase 1's candidates for lead position pl: pl with each position of the
// pair pulse's track, W of them per step. out: a2[8], e[8].
template <int W>
[[gnu::always_inline]] inline void pair_candidates(const std::array<double, kL>& d,
                                                   const Correlations& phi, const SearchTracks& t,
                                                   int pl, double* a2, double* e) {
  using V = Lanes<W>;
  V dl, gl, sl;
  lanes_splat<W>(dl, d[pl]);
  lanes_splat<W>(gl, phi.diag[pl]);
  lanes_splat<W>(sl, phi.sign[pl]);
  for (int k = 0; k < kTrackSize; k += W) {
    V dp, gp, row, sp;
    lanes_load<W>(dp, phi.dt[t.pair] + k);
    lanes_load<W>(gp, phi.dg[t.pair] + k);
    lanes_load<W>(row, phi.c->row[pl][t.pair] + k);
    lanes_load<W>(sp, phi.sr[t.pair] + k);
    const V cross = row * (sl * sp);
    const V a = t.lead_first ? dl + dp : dp + dl;
    const V g = t.lead_first ? gl + gp : gp + gl;
    const V va2 = a * a;
    const V ve = g + 2.0 * cross;
    std::memcpy(a2 + k, &va2, sizeof va2);
    std::memcpy(e + k, &ve, sizeof ve);
  }
}

// Phase 2's terms once the pair is fixed: the pair's numerator and energy,
// and each inner and outer position's terms against it (phi is symmetric,
// so the fixed pulses' rows give them side by side).
struct FixedPair {
  int lead;
  int pair;
  double a;
  double e;
  alignas(32) double inner_d[kTrackSize];
  alignas(32) double inner_e[kTrackSize];
  alignas(32) double outer_fa[kTrackSize];
  alignas(32) double outer_fb[kTrackSize];
};

[[gnu::always_inline]] inline void fix_pair(const std::array<double, kL>& d,
                                            const Correlations& phi, const SearchTracks& t,
                                            int lead, int pair, FixedPair& f) {
  f.lead = lead;
  f.pair = pair;
  const int fa = t.lead_first ? lead : pair;
  const int fb = t.lead_first ? pair : lead;
  f.a = d[fa] + d[fb];
  f.e = phi.diag[fa] + phi.diag[fb] + 2.0 * phi.at(fa, fb);
  alignas(32) double inner_fa[kTrackSize];
  alignas(32) double inner_fb[kTrackSize];
  phi.track(fa, t.inner, inner_fa);
  phi.track(fb, t.inner, inner_fb);
  phi.track(fa, t.outer, f.outer_fa);
  phi.track(fb, t.outer, f.outer_fb);
  for (int k = 0; k < kTrackSize; ++k) {
    f.inner_d[k] = phi.dt[t.inner][k];
    f.inner_e[k] = phi.dg[t.inner][k] + 2.0 * (inner_fa[k] + inner_fb[k]);
  }
}

// Phase 2's candidates for outer index ko: that outer position with each
// inner position, W of them per step. out: a2[8], e[8].
template <int W>
[[gnu::always_inline]] inline void outer_candidates(const std::array<double, kL>& d,
                                                    const Correlations& phi, const SearchTracks& t,
                                                    const FixedPair& f, int ko, double* a2,
                                                    double* e) {
  using V = Lanes<W>;
  const int io = t.outer + kTrackStep * ko;
  V a_outer, e_outer, so;
  lanes_splat<W>(a_outer, f.a + d[io]);
  lanes_splat<W>(e_outer, f.e + phi.diag[io] + 2.0 * (f.outer_fa[ko] + f.outer_fb[ko]));
  lanes_splat<W>(so, phi.sign[io]);
  for (int k = 0; k < kTrackSize; k += W) {
    V row, si, di, ei;
    lanes_load<W>(row, phi.c->row[io][t.inner] + k);
    lanes_load<W>(si, phi.sr[t.inner] + k);
    lanes_load<W>(di, f.inner_d + k);
    lanes_load<W>(ei, f.inner_e + k);
    const V cross = row * (so * si);
    const V a = a_outer + di;
    const V va2 = a * a;
    const V ve = (e_outer + ei) + 2.0 * cross;
    std::memcpy(a2 + k, &va2, sizeof va2);
    std::memcpy(e + k, &ve, sizeof ve);
  }
}

// One search: phase 1 pairs the two best positions of the lead pulse's
// track with every position of the pair pulse's track; phase 2 tries every
// position pair of the outer and inner pulses against the winning pair,
// the candidates compared in order with the best so far.
PulseSet search(const std::array<double, kL>& d, const Correlations& phi,
                const TrackLeaders& leaders, const SearchPlan& plan) {
  const SearchTracks t = search_tracks(plan, leaders);
  Score best = kNoScore;
  int fixed_lead = t.cand[0];
  int fixed_pair = t.pair;
  double a2[kTrackSize];
  double e[kTrackSize];
  for (int c = 0; c < 2; ++c) {
    pair_candidates<1>(d, phi, t, t.cand[c], a2, e);
    const int k = scan_candidates(a2, e, best);
    if (k >= 0) {
      fixed_lead = t.cand[c];
      fixed_pair = t.pair + kTrackStep * k;
    }
  }

  FixedPair f;
  fix_pair(d, phi, t, fixed_lead, fixed_pair, f);
  best = kNoScore;
  int best_outer = t.outer;
  int best_inner = t.inner;
  for (int ko = 0; ko < kTrackSize; ++ko) {
    outer_candidates<1>(d, phi, t, f, ko, a2, e);
    const int k = scan_candidates(a2, e, best);
    if (k >= 0) {
      best_outer = t.outer + kTrackStep * ko;
      best_inner = t.inner + kTrackStep * k;
    }
  }

  PulseSet s;
  s.m[plan.lead] = fixed_lead;
  s.m[plan.pair] = fixed_pair;
  s.m[plan.outer] = best_outer;
  s.m[plan.inner] = best_inner;
  s.score = best;
  return s;
}

// W searches side by side, one per lane. Each lane compares its own
// search's candidates, in the order of the search above, with its own best:
// the W chains of comparisons overlap instead of following one another, and
// no comparison is a branch (a branch on them is mispredicted at every new
// best). The lanes test x * y > z * w where the search tests
// x * y - z * w > 0: the difference of two doubles is positive exactly when
// the first is the larger (it is never rounded to zero, and inf - inf and
// NaN fail both), and the chain is one operation shorter.
template <int W>
struct LaneBest {
  using V = typename LaneVector<W>::type;
  V a2;
  V e;
  V id;  // the last winning candidate's number, -1 while none has won

  [[gnu::always_inline]] void reset() {
    for (int l = 0; l < W; ++l) a2[l] = kNoScore.a2, e[l] = kNoScore.e, id[l] = -1.0;
  }
  // in: va2, ve (candidate number k of each lane's search).
  [[gnu::always_inline]] void take(const V& va2, const V& ve, double k) {
    V vk;
    for (int l = 0; l < W; ++l) vk[l] = k;
    const auto wins = va2 * e > a2 * ve;
    a2 = wins ? va2 : a2;
    e = wins ? ve : e;
    id = wins ? vk : id;
  }
};

// Lane s of out[j] = lane j of in[s]: W searches' rows of W candidates
// become W vectors of one candidate across the searches.
template <int W>
[[gnu::always_inline]] inline void transpose_lanes(const Lanes<W>* in, Lanes<W>* out) {
  if constexpr (W == 4) {
    const Lanes<4> t0 = __builtin_shufflevector(in[0], in[1], 0, 4, 2, 6);
    const Lanes<4> t1 = __builtin_shufflevector(in[0], in[1], 1, 5, 3, 7);
    const Lanes<4> t2 = __builtin_shufflevector(in[2], in[3], 0, 4, 2, 6);
    const Lanes<4> t3 = __builtin_shufflevector(in[2], in[3], 1, 5, 3, 7);
    out[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    out[1] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    out[2] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    out[3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
  } else {
    static_assert(W == 2);
    out[0] = __builtin_shufflevector(in[0], in[1], 0, 2);
    out[1] = __builtin_shufflevector(in[0], in[1], 1, 3);
  }
}

// Candidates first..first + count - 1 of each lane's search (lane s's at
// a2[s], e[s], numbered from k0) compared in order.
template <int W, int N>
[[gnu::always_inline]] inline void take_all(const double (&a2)[W][N], const double (&e)[W][N],
                                            int k0, LaneBest<W>& best) {
  for (int g = 0; g < N; g += W) {
    Lanes<W> ra[W], re[W], ca[W], ce[W];
    for (int s = 0; s < W; ++s) {
      lanes_load<W>(ra[s], a2[s] + g);
      lanes_load<W>(re[s], e[s] + g);
    }
    transpose_lanes<W>(ra, ca);
    transpose_lanes<W>(re, ce);
    for (int j = 0; j < W; ++j) best.take(ca[j], ce[j], k0 + g + j);
  }
}

template <int W>
[[gnu::always_inline]] inline void search_lanes(const std::array<double, kL>& d,
                                                const Correlations& phi,
                                                const TrackLeaders& leaders,
                                                const SearchPlan* plans, PulseSet* out) {
  SearchTracks t[W];
  for (int s = 0; s < W; ++s) t[s] = search_tracks(plans[s], leaders);
  LaneBest<W> best;
  best.reset();
  {
    alignas(32) double a2[W][2 * kTrackSize];
    alignas(32) double e[W][2 * kTrackSize];
    for (int s = 0; s < W; ++s) {
      for (int c = 0; c < 2; ++c) {
        pair_candidates<W>(d, phi, t[s], t[s].cand[c], a2[s] + c * kTrackSize,
                           e[s] + c * kTrackSize);
      }
    }
    take_all<W>(a2, e, 0, best);
  }

  FixedPair f[W];
  for (int s = 0; s < W; ++s) {
    const int k = static_cast<int>(best.id[s]);
    const int lead = k < 0 ? t[s].cand[0] : t[s].cand[k / kTrackSize];
    const int pair = t[s].pair + kTrackStep * (k < 0 ? 0 : k % kTrackSize);
    fix_pair(d, phi, t[s], lead, pair, f[s]);
  }

  // Each outer position's candidates are compared as soon as they are
  // formed, so the next ones are formed while the comparisons run.
  best.reset();
  for (int ko = 0; ko < kTrackSize; ++ko) {
    alignas(32) double a2[W][kTrackSize];
    alignas(32) double e[W][kTrackSize];
    for (int s = 0; s < W; ++s) outer_candidates<W>(d, phi, t[s], f[s], ko, a2[s], e[s]);
    take_all<W>(a2, e, ko * kTrackSize, best);
  }

  for (int s = 0; s < W; ++s) {
    const int k = static_cast<int>(best.id[s]);
    PulseSet& p = out[s];
    p.m[plans[s].lead] = f[s].lead;
    p.m[plans[s].pair] = f[s].pair;
    p.m[plans[s].outer] = t[s].outer + kTrackStep * (k < 0 ? 0 : k / kTrackSize);
    p.m[plans[s].inner] = t[s].inner + kTrackStep * (k < 0 ? 0 : k % kTrackSize);
    p.score = {best.a2[s], best.e[s]};
  }
}

// The four searches' results compared in order; a later one replaces the
// best only when it beats it.
PulseSet best_of(const PulseSet* sets) {
  PulseSet best{{0, 1, 2, 3}, kNoScore};
  for (int i = 0; i < 4; ++i) {
    if (beats(sets[i].score, best.score)) best = sets[i];
  }
  return best;
}

template <int W>
[[gnu::always_inline]] inline PulseSet search_passes(const std::array<double, kL>& d,
                                                     const Correlations& phi) {
  TrackLeaders leaders;
  track_leaders<W>(d, leaders);
  PulseSet sets[4];
  if constexpr (W == 1) {
    for (int i = 0; i < 4; ++i) sets[i] = search(d, phi, leaders, kSearches[i]);
  } else {
    for (int i = 0; i < 4; i += W) search_lanes<W>(d, phi, leaders, kSearches + i, sets + i);
  }
  return best_of(sets);
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

// The synthesis's recursion with one correlation row built interleaved with each of
// its outputs: the rows are independent of it and fill its latency.
G729A_AVX2 void synthesis_with_correlation_rows_avx2(const LpVector& ap, const double* x, double* y,
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
    synthesis_with_correlation_rows_avx2(ap, x, buf.data() + 10, h, tr, c);
    for (int n = 0; n < kL; ++n) y[n] = buf[10 + n];
    return;
  }
#endif
  lp_synthesis(ap, x, buf.data() + 10, kL);
  for (int n = 0; n < kL; ++n) y[n] = buf[10 + n];
  response_correlations(h, c);
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
      phi.dt[t][k] = d[i];
      phi.diag[i] = c.row[i][t][k];
      phi.dg[t][k] = c.row[i][t][k];
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
    // y2 - h is y2 + (-1 h) exactly: no branch on the pulse's random sign.
    signs += static_cast<std::int32_t>(sign[m] > 0.0) << k;
    for (int n = m; n < kL; ++n) y2[n] = y2[n] + sign[m] * h[n - m];
  }
  *sign_index = signs;
  const int m3 = best.m[3];
  *position_index = best.m[0] / 5 + 8 * (best.m[1] / 5) + 64 * (best.m[2] / 5) +
                    512 * (2 * (m3 / 5) + m3 % 5 - 3);

  pitch_sharpen(t0, pitch_sharpening, cw);
}

}  // namespace g729a
