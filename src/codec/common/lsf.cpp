#include "codec/common/lsf.h"

namespace g729a {

const LsfVector lsf_ma_memory_reset = {0.285599, 0.571199, 0.856798, 1.142397, 1.427997,
                                       1.713596, 1.999195, 2.284795, 2.570394, 2.855993};

const std::array<double, 10> lsp_initial = {0.9595,  0.8413,  0.6549,  0.4154,  0.1423,
                                            -0.1423, -0.4154, -0.6549, -0.8413, -0.9595};

void lsf_ma_memory_init(LsfMaMemory& memory) {
  memory.fill(lsf_ma_memory_reset);
}

void lsf_expand(std::span<double, 10> buf, double gap, int first, int last) {
  // Selects, not branches: whether two neighbours are too close follows the
  // speech. The pair's upper value carries on to the next pair in a register.
  double lower = buf[first - 1];
  for (int j = first; j <= last; ++j) {
    const double upper = buf[j];
    const double d = (lower - upper + gap) * 0.5;
    const bool close = d > 0.0;
    buf[j - 1] = close ? lower - d : lower;
    lower = close ? upper + d : upper;
  }
  buf[last] = lower;
}

void lsf_stabilize(std::span<double, 10> lsf) {
  for (int j = 0; j < 9; ++j) {
    if (lsf[j + 1] - lsf[j] < 0.0) {
      const double t = lsf[j + 1];
      lsf[j + 1] = lsf[j];
      lsf[j] = t;
    }
  }
  if (lsf[0] < 0.005) lsf[0] = 0.005;
  for (int j = 0; j < 9; ++j) {
    if (lsf[j + 1] - lsf[j] < kLsfMinDistance) lsf[j + 1] = lsf[j] + kLsfMinDistance;
  }
  if (lsf[9] > 3.135) lsf[9] = 3.135;
}

void lsf_ma_prediction(const LsfVector& buf, std::span<const double* const, 4> coef,
                       const double* coef_sum, const LsfMaMemory& memory,
                       std::span<double, 10> lsf_out) {
  for (int j = 0; j < 10; ++j) {
    double v = buf[j] * coef_sum[j];
    for (int k = 0; k < 4; ++k) v += memory[k][j] * coef[k][j];
    lsf_out[j] = v;
  }
}

void lsf_ma_predict(const LsfVector& buf, std::span<const double* const, 4> coef,
                    const double* coef_sum, LsfMaMemory& memory, std::span<double, 10> lsf_out) {
  lsf_ma_prediction(buf, coef, coef_sum, memory, lsf_out);
  memory[3] = memory[2];
  memory[2] = memory[1];
  memory[1] = memory[0];
  memory[0] = buf;
  lsf_stabilize(lsf_out);
}

void lsf_reconstruct(const double (*cb1)[10], const double (*cb2)[10], int i1, int i2, int i3,
                     const double (*coef)[10], LsfMaMemory& memory, std::span<double, 10> lsf_out,
                     const double* coef_sum) {
  LsfVector buf;
  for (int j = 0; j < 5; ++j) buf[j] = cb1[i1][j] + cb2[i2][j];
  for (int j = 5; j < 10; ++j) buf[j] = cb1[i1][j] + cb2[i3][j];
  lsf_expand(buf, kLsfFirstGap);
  lsf_expand(buf, kLsfSecondGap);
  const double* const rows[4] = {coef[0], coef[1], coef[2], coef[3]};
  lsf_ma_predict(buf, rows, coef_sum, memory, lsf_out);
}

}  // namespace g729a
