#include "codec/encoder/algebraic_codebook.h"

#include <array>

#include "codec/common/adaptive_codebook.h"
#include "codec/common/simd.h"
#include "codec/encoder/subframe.h"

namespace g729a {

namespace {

constexpr int kL = kSubframeLength;
constexpr int kTrackSize = 8;
constexpr int kTrackStep = 5;

// Correlations of the sharpened response with the pre-selected signs folded
// into the cross terms: phi[i][j] for every pair of positions.
using Correlations = std::array<std::array<double, kL>, kL>;

// Numerator A (sum of |d|) and energy E of a candidate pulse set.
struct Score {
  double a2;  // A * A
  double e;
};

// Pseudo-best of a stage: any real candidate beats it.
constexpr Score kNoScore{-1.0, 1.0};

// in: candidate a, e; in: best; true when a*a/e beats best, without dividing.
bool beats(double a, double e, const Score& best) {
  return (a * a) * best.e - best.a2 * e > 0.0;
}

bool beats(const Score& s, const Score& best) {
  return s.a2 * best.e - best.a2 * s.e > 0.0;
}

struct PulseSet {
  std::array<int, 4> m;  // positions of pulses 0..3
  Score score;
};

// in: d (magnitudes), track; out: the position with the largest d and the
// largest other one, the lower position first among equal values.
void two_largest(const std::array<double, kL>& d, int track, int* first, int* second) {
  double best = -1.0;
  *first = track;
  for (int p = track; p < kL; p += kTrackStep) {
    if (d[p] > best) {
      best = d[p];
      *first = p;
    }
  }
  best = -1.0;
  *second = *first == track ? track + kTrackStep : track;
  for (int p = track; p < kL; p += kTrackStep) {
    if (p != *first && d[p] > best) {
      best = d[p];
      *second = p;
    }
  }
}

// Track of each pulse in a pass: pulse k on track k, pulse 3 on track3.
int track_of(int pulse, int track3) {
  return pulse == 3 ? track3 : pulse;
}

// One search of a pass. Phase 1 pairs the two best positions of the lead
// pulse's track with every position of the pair pulse's track; phase 2 tries
// every position pair of the outer and inner pulses against the winning
// pair. in: d, phi, track3 and the four pulse numbers; returns the set.
PulseSet search(const std::array<double, kL>& d, const Correlations& phi, int track3, int lead,
                int pair, int outer, int inner) {
  const int lead_track = track_of(lead, track3);
  const int pair_track = track_of(pair, track3);
  const int outer_track = track_of(outer, track3);
  const int inner_track = track_of(inner, track3);
  int cand[2];
  two_largest(d, lead_track, &cand[0], &cand[1]);

  // The lower pulse number comes first in each pair sum.
  const bool lead_first = lead < pair;
  Score best = kNoScore;
  int fixed_lead = cand[0];
  int fixed_pair = pair_track;
  for (int c = 0; c < 2; ++c) {
    const int pl = cand[c];
    for (int pp = pair_track; pp < kL; pp += kTrackStep) {
      const int pa = lead_first ? pl : pp;
      const int pb = lead_first ? pp : pl;
      const double a = d[pa] + d[pb];
      const double e = phi[pa][pa] + phi[pb][pb] + 2.0 * phi[pa][pb];
      if (beats(a, e, best)) {
        best = {a * a, e};
        fixed_lead = pl;
        fixed_pair = pp;
      }
    }
  }

  const int fa = lead_first ? fixed_lead : fixed_pair;
  const int fb = lead_first ? fixed_pair : fixed_lead;
  const double a_fixed = d[fa] + d[fb];
  const double e_fixed = phi[fa][fa] + phi[fb][fb] + 2.0 * phi[fa][fb];

  // Inner-position terms do not depend on the outer position.
  std::array<double, kTrackSize> inner_e;
  for (int k = 0; k < kTrackSize; ++k) {
    const int i = inner_track + kTrackStep * k;
    inner_e[k] = phi[i][i] + 2.0 * (phi[i][fa] + phi[i][fb]);
  }

  best = kNoScore;
  int best_outer = outer_track;
  int best_inner = inner_track;
  for (int io = outer_track; io < kL; io += kTrackStep) {
    const double a_outer = a_fixed + d[io];
    const double e_outer = e_fixed + phi[io][io] + 2.0 * (phi[io][fa] + phi[io][fb]);
    for (int k = 0; k < kTrackSize; ++k) {
      const int ii = inner_track + kTrackStep * k;
      const double a = a_outer + d[ii];
      const double e = e_outer + inner_e[k] + 2.0 * phi[io][ii];
      if (beats(a, e, best)) {
        best = {a * a, e};
        best_outer = io;
        best_inner = ii;
      }
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

// phi[i][j] = sign[i] sign[j] sum over n of h[n - i] h[n - j]. Walking each
// diagonal from its short end adds the terms of every entry in increasing n,
// the same order as the direct sum; the sign product (+-1) scales exactly.
void signed_correlations_scalar(const double* h, const double* sign, Correlations& phi) {
  for (int delta = 0; delta < kL; ++delta) {
    double s = 0.0;
    for (int j = kL - 1; j >= delta; --j) {
      s += h[kL - 1 - j + delta] * h[kL - 1 - j];
      const double v = s * (sign[j - delta] * sign[j]);
      phi[j - delta][j] = v;
      phi[j][j - delta] = v;
    }
  }
}

#if defined(G729A_HAVE_SSE2)
// Two diagonals (delta, delta + 1) at once, one per lane.
void signed_correlations_sse2(const double* h, const double* sign, Correlations& phi) {
  double hp[kL + 2] = {};  // zero past the end: the shorter lane's last step
  double sr[kL + 2] = {};  // signs in reverse order
  for (int n = 0; n < kL; ++n) {
    hp[n] = h[n];
    sr[n] = sign[kL - 1 - n];
  }
  for (int delta = 0; delta < kL; delta += 2) {
    __m128d s = _mm_setzero_pd();
    const int last = kL - 1 - delta;
    for (int m = 0; m <= last; ++m) {
      s = _mm_add_pd(s, _mm_mul_pd(_mm_loadu_pd(hp + m + delta), _mm_set1_pd(hp[m])));
      const int j = kL - 1 - m;
      const int i = j - delta;
      const __m128d v =
          _mm_mul_pd(s, _mm_mul_pd(_mm_loadu_pd(sr + delta + m), _mm_set1_pd(sign[j])));
      _mm_storel_pd(&phi[i][j], v);
      _mm_storel_pd(&phi[j][i], v);
      if (m < last) {
        _mm_storeh_pd(&phi[i - 1][j], v);
        _mm_storeh_pd(&phi[j][i - 1], v);
      }
    }
  }
}
#endif

void signed_correlations(const double* h, const double* sign, Correlations& phi) {
#if defined(G729A_HAVE_SSE2)
  if (simd_path() != SimdPath::Scalar) return signed_correlations_sse2(h, sign, phi);
#endif
  signed_correlations_scalar(h, sign, phi);
}

}  // namespace

void algebraic_codebook_search(const double* x2, double* h, int t0, double pitch_sharpening,
                               double* cw, double* y2, std::int32_t* position_index,
                               std::int32_t* sign_index) {
  pitch_sharpen(t0, pitch_sharpening, h);

  // Each position's sign is fixed by its correlation; d keeps the magnitude.
  std::array<double, kL> d;
  std::array<double, kL> sign;
  backward_filter(x2, h, d.data());
  for (int n = 0; n < kL; ++n) {
    if (d[n] >= 0.0) {
      sign[n] = 1.0;
    } else {
      sign[n] = -1.0;
      d[n] = -d[n];
    }
  }

  Correlations phi;
  signed_correlations(h, sign.data(), phi);
  PulseSet best{{0, 1, 2, 3}, kNoScore};
  for (int track3 = 3; track3 <= 4; ++track3) {
    // Search A: pulses 2 and 3 first, then 0 and 1.
    PulseSet s = search(d, phi, track3, 2, 3, 0, 1);
    if (beats(s.score, best.score)) best = s;
    // Search B: pulses 3 and 0 first, then 1 and 2.
    s = search(d, phi, track3, 3, 0, 1, 2);
    if (beats(s.score, best.score)) best = s;
  }

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
