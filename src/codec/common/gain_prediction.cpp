#include "codec/common/gain_prediction.h"

#include "codec/common/adaptive_codebook.h"
#include "codec/common/lanes.h"
#include "codec/common/portable_math.h"
#include "codec/common/tables.h"

namespace g729a {

namespace {

constexpr double kMeanEnergyDb = 36.0;

}  // namespace

double predicted_code_gain(const double* cv, const GainPredictorMemory& memory) {
  const double energy = dot_product(0.01, cv, cv);
  double p = kMeanEnergyDb - 10.0 * portable_log10(energy / kSubframeLength);
  for (int k = 0; k < 4; ++k) p += gain_pred_coef[k] * memory[k];
  return portable_exp10(p / 20.0);
}

void gain_predictor_update(GainPredictorMemory& memory, double gamma) {
  memory[3] = memory[2];
  memory[2] = memory[1];
  memory[1] = memory[0];
  memory[0] = 20.0 * portable_log10(gamma);
}

}  // namespace g729a
