// LSF codebook reconstruction with the switched MA predictor.
#pragma once

#include <array>
#include <span>

#include "g729a/frame_geometry.h"

namespace g729a {

// Minimum distances the two expansion passes pull neighbouring LSFs apart
// to, and the stabilizer's.
inline constexpr double kLsfFirstGap = 0.0012;
inline constexpr double kLsfSecondGap = 0.0006;
inline constexpr double kLsfMinDistance = 0.0392;

// Initial content of every row of the predictor memory.
extern const LsfVector lsf_ma_memory_reset;

// LSPs (cosine domain) that encoder and decoder start from, so the first
// frame interpolates from the same neutral spectrum on both sides.
extern const std::array<double, 10> lsp_initial;

// out: memory, every row lsf_ma_memory_reset.
void lsf_ma_memory_init(LsfMaMemory& memory);

// One pass j = first..last (increasing): pulls neighbours at least `gap` apart.
// inout: buf.
void lsf_expand(std::span<double, 10> buf, double gap, int first = 1, int last = 9);

// Ordering pass, floor 0.005, minimum distance 0.0392, ceiling 3.135. inout: lsf.
void lsf_stabilize(std::span<double, 10> lsf);

// The prediction alone, memory untouched (and lsf_out not stabilized): a
// SID search tries candidates on it. in: buf, coef, coef_sum, memory; out:
// lsf_out.
void lsf_ma_prediction(const LsfVector& buf, std::span<const double* const, 4> coef,
                       const double* coef_sum, const LsfMaMemory& memory,
                       std::span<double, 10> lsf_out);

// The switched MA predictor, shared by speech and SID frames:
// lsf_out[j] = buf[j] coef_sum[j] + memory[k][j] coef[k][j] for k = 0..3
// added in turn; then buf becomes memory row 0 and lsf_out is stabilized.
// in: buf (expanded codebook vector), coef (the mode's four rows of ten),
// coef_sum; inout: memory; out: lsf_out.
void lsf_ma_predict(const LsfVector& buf, std::span<const double* const, 4> coef,
                    const double* coef_sum, LsfMaMemory& memory, std::span<double, 10> lsf_out);

// in: cb1 row i1, cb2 rows i2 (low half) and i3 (high half), coef (the
// mode's 4 x 10 predictor rows), coef_sum (the mode's row);
// inout: memory; out: lsf_out (radians, increasing).
void lsf_reconstruct(const double (*cb1)[10], const double (*cb2)[10], int i1, int i2, int i3,
                     const double (*coef)[10], LsfMaMemory& memory, std::span<double, 10> lsf_out,
                     const double* coef_sum);

}  // namespace g729a
