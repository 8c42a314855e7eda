// Two-stage, two-mode vector quantization of the frame's LSPs with the
// switched MA predictor.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "codec/common/lsf.h"

namespace g729a {

// Chosen indices and the distortion of one predictor mode.
struct LsfModeChoice {
  int cand;  // first stage
  int low;   // second stage, coefficients 0..4
  int high;  // second stage, coefficients 5..9
  double dist;
};

// in: lsf[10]; out: w[10], the spacing weights of the search.
void lsf_weights(std::span<const double, 10> lsf, std::span<double, 10> w);

// in: lsf, w, memory, mode (0 or 1); returns that mode's best indices and
// its distortion.
LsfModeChoice lsf_search_mode(std::span<const double, 10> lsf, std::span<const double, 10> w,
                              const LsfMaMemory& memory, int mode);

// in: lsp_new; inout: memory; out: lsp_new_q, *slot1 = L0 << 7 | L1,
// *slot2 = L2 << 5 | L3.
void lsp_quantize(std::span<const double, 10> lsp_new, LsfMaMemory& memory,
                  std::span<double, 10> lsp_new_q, std::int32_t* slot1, std::int32_t* slot2);

// lsp_quantize from the LSFs (radians) of lsp_new. in: lsf; inout: memory;
// out: as lsp_quantize.
void lsf_quantize(std::span<const double, 10> lsf, LsfMaMemory& memory,
                  std::span<double, 10> lsp_new_q, std::int32_t* slot1, std::int32_t* slot2);

}  // namespace g729a
