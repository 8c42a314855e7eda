#include "codec/encoder/lsp_quantizer.h"

#include "codec/common/portable_math.h"
#include "codec/common/tables.h"

namespace g729a {

namespace {

constexpr double kLowEdge = 0.12566370616;        // 0.04 pi
constexpr double kHighEdge = 2.8902652416800003;  // 0.92 pi
constexpr double kFirstGap = 0.0012;
constexpr double kSecondGap = 0.0006;

double spacing_weight(double d) {
  return d > 0 ? 1.0 : 10 * (d * d) + 1;
}

}  // namespace

void lsf_weights(std::span<const double, 10> lsf, std::span<double, 10> w) {
  w[0] = spacing_weight(lsf[1] - kLowEdge - 1);
  for (int i = 1; i <= 8; ++i) w[i] = spacing_weight(lsf[i + 1] - lsf[i - 1] - 1);
  w[9] = spacing_weight(kHighEdge - lsf[8] - 1);
  w[4] = 1.2 * w[4];
  w[5] = 1.2 * w[5];
}

LsfModeChoice lsf_search_mode(std::span<const double, 10> lsf, std::span<const double, 10> w,
                              const LsfMaMemory& memory, int mode) {
  const double(*coef)[10] = lsf_ma_coef[mode];
  std::array<double, 10> t;
  for (int j = 0; j < 10; ++j) {
    double v = lsf[j];
    for (int k = 0; k < 4; ++k) v -= coef[k][j] * memory[k][j];
    t[j] = v * lsf_ma_coef_sum_inv[mode][j];
  }

  LsfModeChoice choice{};
  double best = 1e38;
  for (int i = 0; i < 128; ++i) {
    double err = 0.0;
    for (int j = 0; j < 10; ++j) {
      const double diff = t[j] - lsf_cb1[i][j];
      err += diff * diff;
    }
    if (err < best) {
      best = err;
      choice.cand = i;
    }
  }
  const double* first = lsf_cb1[choice.cand];

  // The halves are searched independently, both against the first stage.
  const auto second_stage = [&](int lo, int hi) {
    int index = 0;
    double best_err = 1e38;
    for (int i = 0; i < 32; ++i) {
      double err = 0.0;
      for (int j = lo; j <= hi; ++j) {
        const double diff = t[j] - first[j] - lsf_cb2[i][j];
        err += w[j] * (diff * diff);
      }
      if (err < best_err) {
        best_err = err;
        index = i;
      }
    }
    return index;
  };

  std::array<double, 10> buf;
  choice.low = second_stage(0, 4);
  for (int j = 0; j < 5; ++j) buf[j] = first[j] + lsf_cb2[choice.low][j];
  lsf_expand(buf, kFirstGap, 1, 4);
  choice.high = second_stage(5, 9);
  for (int j = 5; j < 10; ++j) buf[j] = first[j] + lsf_cb2[choice.high][j];
  lsf_expand(buf, kFirstGap, 5, 9);
  lsf_expand(buf, kSecondGap, 1, 9);

  double dist = 0.0;
  for (int j = 0; j < 10; ++j) {
    const double e = (buf[j] - t[j]) * lsf_ma_coef_sum[mode][j];
    dist += w[j] * (e * e);
  }
  choice.dist = dist;
  return choice;
}

void lsp_quantize(std::span<const double, 10> lsp_new, LsfMaMemory& memory,
                  std::span<double, 10> lsp_new_q, std::int32_t* slot1, std::int32_t* slot2) {
  std::array<double, 10> lsf;
  for (int i = 0; i < 10; ++i) lsf[i] = portable_acos(lsp_new[i]);
  std::array<double, 10> w;
  lsf_weights(lsf, w);

  const LsfModeChoice mode0 = lsf_search_mode(lsf, w, memory, 0);
  const LsfModeChoice mode1 = lsf_search_mode(lsf, w, memory, 1);
  const int l0 = mode1.dist < mode0.dist ? 1 : 0;
  const LsfModeChoice& chosen = l0 == 1 ? mode1 : mode0;

  std::array<double, 10> lsf_q;
  lsf_reconstruct(lsf_cb1, lsf_cb2, chosen.cand, chosen.low, chosen.high, lsf_ma_coef[l0], memory,
                  lsf_q, lsf_ma_coef_sum[l0]);
  for (int i = 0; i < 10; ++i) lsp_new_q[i] = portable_cos(lsf_q[i]);

  *slot1 = (l0 << 7) | chosen.cand;
  *slot2 = (chosen.low << 5) | chosen.high;
}

}  // namespace g729a
