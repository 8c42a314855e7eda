#include "codec/common/gain_prediction.h"

#include <bit>
#include <cstdint>

#include "codec/common/adaptive_codebook.h"
#include "codec/common/tables.h"
#include "codec/maths/portable_math.h"

namespace g729a {

namespace {

constexpr double kMeanEnergyDb = 36.0;
constexpr double kEnergyStart = 0.01;

// The codevector's energy is kEnergyStart + cv[n]^2 added in increasing n.
// Its zero terms leave the sum as it is, so only the pulses and their echoes
// need adding; with no echo (T >= 40) every codevector's four unit pulses
// give one and the same sum, and so one and the same logarithm.
constexpr double kUnitPulsesEnergy = kEnergyStart + 1.0 + 1.0 + 1.0 + 1.0;
const double kUnitPulsesEnergyDb =
    kMeanEnergyDb - 10.0 * portable_log10(kUnitPulsesEnergy / kSubframeLength);

// in: cv[40]; the sum above over its non-zero terms, in increasing n.
double sparse_energy(const double* cv) {
  std::uint64_t nonzero = 0;
  for (int n = 0; n < kSubframeLength; ++n) {
    nonzero |= static_cast<std::uint64_t>(cv[n] != 0.0) << n;
  }
  double energy = kEnergyStart;
  for (; nonzero != 0; nonzero &= nonzero - 1) {
    const int n = std::countr_zero(nonzero);
    energy += cv[n] * cv[n];
  }
  return energy;
}

// 20 log10 gamma for every pair of rows: 128 logarithms once, not one per
// subframe.
struct CorrectionsDb {
  double db[gain_cb1_size][gain_cb2_size];
};
const CorrectionsDb kCorrectionsDb = [] {
  CorrectionsDb t;
  for (int i1 = 0; i1 < gain_cb1_size; ++i1) {
    for (int i2 = 0; i2 < gain_cb2_size; ++i2) {
      t.db[i1][i2] = 20.0 * portable_log10(gain_cb1[i1][1] + gain_cb2[i2][1]);
    }
  }
  return t;
}();

}  // namespace

double predicted_code_gain(const double* cv, int T, const GainPredictorMemory& memory) {
  double p = T >= kSubframeLength
                 ? kUnitPulsesEnergyDb
                 : kMeanEnergyDb - 10.0 * portable_log10(sparse_energy(cv) / kSubframeLength);
  for (int k = 0; k < 4; ++k) p += gain_pred_coef[k] * memory[k];
  return portable_exp10(p / 20.0);
}

void gain_predictor_update(GainPredictorMemory& memory, int i1, int i2) {
  memory[3] = memory[2];
  memory[2] = memory[1];
  memory[1] = memory[0];
  memory[0] = kCorrectionsDb.db[i1][i2];
}

}  // namespace g729a
