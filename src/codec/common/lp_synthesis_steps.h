// The tenth-order recursion of the LP synthesis filter written out step by
// step, for the kernels that run it (alone, in lanes, or beside other work).
// Internal to the codec's filter code.
#pragma once

namespace g729a {

// Ten steps of a tenth-order recursion with its past outputs in r0..r9: each
// step's output takes the place of the oldest, so the names rotate instead of
// the values.
#define G729A_TEN_STEPS(STEP)                     \
  STEP(0, r9, r8, r7, r6, r5, r4, r3, r2, r1, r0) \
  STEP(1, r0, r9, r8, r7, r6, r5, r4, r3, r2, r1) \
  STEP(2, r1, r0, r9, r8, r7, r6, r5, r4, r3, r2) \
  STEP(3, r2, r1, r0, r9, r8, r7, r6, r5, r4, r3) \
  STEP(4, r3, r2, r1, r0, r9, r8, r7, r6, r5, r4) \
  STEP(5, r4, r3, r2, r1, r0, r9, r8, r7, r6, r5) \
  STEP(6, r5, r4, r3, r2, r1, r0, r9, r8, r7, r6) \
  STEP(7, r6, r5, r4, r3, r2, r1, r0, r9, r8, r7) \
  STEP(8, r7, r6, r5, r4, r3, r2, r1, r0, r9, r8) \
  STEP(9, r8, r7, r6, r5, r4, r3, r2, r1, r0, r9)

// The first `rest` (< 10) of those steps.
#define G729A_REST_STEPS(STEP)                                  \
  if (rest > 0) STEP(0, r9, r8, r7, r6, r5, r4, r3, r2, r1, r0) \
  if (rest > 1) STEP(1, r0, r9, r8, r7, r6, r5, r4, r3, r2, r1) \
  if (rest > 2) STEP(2, r1, r0, r9, r8, r7, r6, r5, r4, r3, r2) \
  if (rest > 3) STEP(3, r2, r1, r0, r9, r8, r7, r6, r5, r4, r3) \
  if (rest > 4) STEP(4, r3, r2, r1, r0, r9, r8, r7, r6, r5, r4) \
  if (rest > 5) STEP(5, r4, r3, r2, r1, r0, r9, r8, r7, r6, r5) \
  if (rest > 6) STEP(6, r5, r4, r3, r2, r1, r0, r9, r8, r7, r6) \
  if (rest > 7) STEP(7, r6, r5, r4, r3, r2, r1, r0, r9, r8, r7) \
  if (rest > 8) STEP(8, r7, r6, r5, r4, r3, r2, r1, r0, r9, r8)

// One output of the recursion, the ten previous ones held in the variables
// p1 (newest) .. p10; the new output replaces p10. Naming the variables
// round a cycle of ten steps keeps the whole history in registers without a
// move per sample.
#define G729A_SYNTHESIS_STEP(n, p1, p2, p3, p4, p5, p6, p7, p8, p9, p10) \
  {                                                                      \
    double v = x[n];                                                     \
    v -= a1 * p1;                                                        \
    v -= a2 * p2;                                                        \
    v -= a3 * p3;                                                        \
    v -= a4 * p4;                                                        \
    v -= a5 * p5;                                                        \
    v -= a6 * p6;                                                        \
    v -= a7 * p7;                                                        \
    v -= a8 * p8;                                                        \
    v -= a9 * p9;                                                        \
    v -= a10 * p10;                                                      \
    y[n] = v;                                                            \
    p10 = v;                                                             \
    beside(done + (n));                                                  \
  }

// Work that runs beside the recursion, one call per output index.
struct NothingBeside {
  void operator()(int) const {}
};

// lp_synthesis, calling beside(n) after output n: an independent chain of
// work placed there overlaps the recursion's. rK holds the output whose
// index is K modulo 10.
template <class Beside = NothingBeside>
[[gnu::always_inline]] inline void synthesis_steps(const double* a, const double* x, double* y,
                                                   int length, Beside beside = {}) {
  const double a1 = a[1], a2 = a[2], a3 = a[3], a4 = a[4], a5 = a[5];
  const double a6 = a[6], a7 = a[7], a8 = a[8], a9 = a[9], a10 = a[10];
  double r0 = y[-10], r1 = y[-9], r2 = y[-8], r3 = y[-7], r4 = y[-6];
  double r5 = y[-5], r6 = y[-4], r7 = y[-3], r8 = y[-2], r9 = y[-1];
  int done = 0;
  for (; done + 10 <= length; done += 10, x += 10, y += 10) {
    G729A_TEN_STEPS(G729A_SYNTHESIS_STEP)
  }
  // The rest of a length that is not a multiple of ten (the post-filter's 22).
  const int rest = length - done;
  G729A_REST_STEPS(G729A_SYNTHESIS_STEP)
}

}  // namespace g729a
