// The two tenth-order LP filters every stage of the codec runs: the analysis
// filter A(z) and the synthesis filter 1/A(z).
#pragma once

#include <array>
#include <span>

#include "g729a/frame_geometry.h"

namespace g729a {

// gamma^0 .. gamma^10 by repeated multiplication (the doubles a running
// product gives), for bandwidth expansion A(z/gamma). in: gamma.
constexpr std::array<double, 11> bandwidth_powers(double gamma) {
  std::array<double, 11> p{};
  p[0] = 1.0;
  for (int i = 1; i < 11; ++i) p[i] = p[i - 1] * gamma;
  return p;
}

// out[k] = a[k] * powers[k]: the coefficients of A(z/gamma). in: a, powers.
inline void bandwidth_expand(const LpVector& a, const std::array<double, 11>& powers,
                             LpVector& out) {
  for (int k = 0; k < 11; ++k) out[k] = a[k] * powers[k];
}

// y[n] = x[n] + a[1] x[n-1] + ... + a[10] x[n-10], the terms added one by one
// in increasing k. in: a (a[0] unused), x[-10..length-1]; out: y[0..length-1],
// which must not overlap x.
void lp_residual(const LpVector& a, const double* x, double* y, int length);

// y[n] = x[n] - a[1] y[n-1] - ... - a[10] y[n-10], subtracted one by one in
// increasing k, each y[n] stored before y[n+1] is formed. in: a (a[0]
// unused), x[0..length-1], y[-10..-1] (past outputs); out: y[0..length-1].
// x may be y itself.
void lp_synthesis(const LpVector& a, const double* x, double* y, int length);

// One subframe of 1/A(z) continuing from the ten outputs before it, through
// lp_synthesis. in: a, x[0..39], past (newest last); out: y[0..39] (may be
// x), *next when not null (the last ten outputs, newest last; may be &past).
void synthesize_subframe(const LpVector& a, const double* x, const std::array<double, 10>& past,
                         double* y, std::array<double, 10>* next);

// Two independent lp_synthesis runs of the same length, interleaved so that
// their chains of subtractions overlap (one per vector lane); each gives
// exactly what lp_synthesis gives alone.
void lp_synthesis_pair(const LpVector& a0, const double* x0, double* y0, const LpVector& a1,
                       const double* x1, double* y1, int length);

// One lp_synthesis run: in: *a, x[0..length-1], y[-10..-1]; out:
// y[0..length-1].
struct SynthesisRun {
  const LpVector* a;
  const double* x;
  double* y;
};

// Up to four independent lp_synthesis runs of the same length side by side,
// four lanes on AVX2 and pairs on SSE2; each gives exactly what lp_synthesis
// gives alone. in: runs (1..4 of them), length.
void lp_synthesis_runs(std::span<const SynthesisRun> runs, int length);

}  // namespace g729a
