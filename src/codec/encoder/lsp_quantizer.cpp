#include "codec/encoder/lsp_quantizer.h"

#include <cmath>
#include <cstring>

#include "codec/common/tables.h"
#include "codec/maths/portable_math.h"
#include "codec/simd/lanes.h"
#include "codec/simd/simd.h"

namespace g729a {

namespace {

constexpr double kLowEdge = 0.12566370616;        // 0.04 pi
constexpr double kHighEdge = 2.8902652416800003;  // 0.92 pi

double spacing_weight(double d) {
  return d > 0 ? 1.0 : 10 * (d * d) + 1;
}

// The codebooks column by column, so consecutive rows share a vector.
struct TransposedCodebooks {
  alignas(32) double cb1[10][128];
  alignas(32) double cb2[10][32];
};

const TransposedCodebooks& transposed_codebooks() {
  static const TransposedCodebooks t = [] {
    TransposedCodebooks c{};
    for (int j = 0; j < 10; ++j) {
      for (int i = 0; i < 128; ++i) c.cb1[j][i] = lsf_cb1[i][j];
      for (int i = 0; i < 32; ++i) c.cb2[j][i] = lsf_cb2[i][j];
    }
    return c;
  }();
  return t;
}

// err[i] = sum over j = lo..hi-1 of w[j] * (diff * diff) (or diff * diff
// without weights), diff = t[j] - cbt[j][i], added in increasing j; cbt is a
// transposed codebook of `rows` rows (a multiple of 4). Rows go in lanes.
void row_distances_scalar(const double* t, const double* w, int lo, int hi, const double* cbt,
                          int rows, double* err) {
  for (int i = 0; i < rows; ++i) {
    double e = 0.0;
    for (int j = lo; j < hi; ++j) {
      const double diff = t[j] - cbt[j * rows + i];
      e += w != nullptr ? w[j] * (diff * diff) : diff * diff;
    }
    err[i] = e;
  }
}

template <int W>
[[gnu::always_inline]] inline void row_distances_lanes(const double* t, const double* w, int lo,
                                                       int hi, const double* cbt, int rows,
                                                       double* err) {
  using V = typename LaneVector<W>::type;
  for (int i = 0; i < rows; i += W) {
    V e = {};
    for (int j = lo; j < hi; ++j) {
      V tj, row;
      for (int k = 0; k < W; ++k) tj[k] = t[j];
      std::memcpy(&row, cbt + j * rows + i, sizeof row);
      const V diff = tj - row;
      V term = diff * diff;
      if (w != nullptr) {
        V wj;
        for (int k = 0; k < W; ++k) wj[k] = w[j];
        term = wj * term;
      }
      e = e + term;
    }
    std::memcpy(err + i, &e, sizeof e);
  }
}

#if defined(G729A_HAVE_SSE2)
void row_distances_sse2(const double* t, const double* w, int lo, int hi, const double* cbt,
                        int rows, double* err) {
  row_distances_lanes<2>(t, w, lo, hi, cbt, rows, err);
}
#endif

#if defined(G729A_HAVE_AVX2)
G729A_AVX2 void row_distances_avx2(const double* t, const double* w, int lo, int hi,
                                   const double* cbt, int rows, double* err) {
  row_distances_lanes<4>(t, w, lo, hi, cbt, rows, err);
}
#endif

void row_distances(const double* t, const double* w, int lo, int hi, const double* cbt, int rows,
                   double* err) {
#if defined(G729A_HAVE_AVX2)
  if (simd_path() == SimdPath::Avx2) return row_distances_avx2(t, w, lo, hi, cbt, rows, err);
#endif
#if defined(G729A_HAVE_SSE2)
  if (simd_path() == SimdPath::Sse2) return row_distances_sse2(t, w, lo, hi, cbt, rows, err);
#endif
  row_distances_scalar(t, w, lo, hi, cbt, rows, err);
}

// The first index of the smallest value: the best starts at 1e38 and only a
// strictly smaller value replaces it.
int first_minimum_row(const double* err, int count) {
  double best = 1e38;
  const int index = first_minimum(err, count, &best);
  return index < 0 ? 0 : index;
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
  alignas(32) double err[128];
  row_distances(t.data(), nullptr, 0, 10, transposed_codebooks().cb1[0], 128, err);
  choice.cand = first_minimum_row(err, 128);
  const double* first = lsf_cb1[choice.cand];

  // The halves are searched independently, both against the first stage;
  // t[j] - first[j] is the first subtraction of each term either way.
  std::array<double, 10> rest;
  for (int j = 0; j < 10; ++j) rest[j] = t[j] - first[j];
  const auto second_stage = [&](int lo, int hi) {
    row_distances(rest.data(), w.data(), lo, hi + 1, transposed_codebooks().cb2[0], 32, err);
    return first_minimum_row(err, 32);
  };

  std::array<double, 10> buf;
  choice.low = second_stage(0, 4);
  for (int j = 0; j < 5; ++j) buf[j] = first[j] + lsf_cb2[choice.low][j];
  lsf_expand(buf, kLsfFirstGap, 1, 4);
  choice.high = second_stage(5, 9);
  for (int j = 5; j < 10; ++j) buf[j] = first[j] + lsf_cb2[choice.high][j];
  lsf_expand(buf, kLsfFirstGap, 5, 9);
  lsf_expand(buf, kLsfSecondGap, 1, 9);

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
  portable_acos_10(lsp_new, lsf);
  lsf_quantize(lsf, memory, lsp_new_q, slot1, slot2);
}

void lsf_quantize(std::span<const double, 10> lsf, LsfMaMemory& memory,
                  std::span<double, 10> lsp_new_q, std::int32_t* slot1, std::int32_t* slot2) {
  std::array<double, 10> w;
  lsf_weights(lsf, w);

  const LsfModeChoice mode0 = lsf_search_mode(lsf, w, memory, 0);
  const LsfModeChoice mode1 = lsf_search_mode(lsf, w, memory, 1);
  const int l0 = mode1.dist < mode0.dist ? 1 : 0;
  const LsfModeChoice& chosen = l0 == 1 ? mode1 : mode0;

  std::array<double, 10> lsf_q;
  lsf_reconstruct(lsf_cb1, lsf_cb2, chosen.cand, chosen.low, chosen.high, lsf_ma_coef[l0], memory,
                  lsf_q, lsf_ma_coef_sum[l0]);
  portable_cos_10(lsf_q, lsp_new_q);

  *slot1 = (l0 << 7) | chosen.cand;
  *slot2 = (chosen.low << 5) | chosen.high;
}

}  // namespace g729a
