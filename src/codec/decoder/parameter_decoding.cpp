#include "codec/decoder/parameter_decoding.h"

#include "codec/common/gain_prediction.h"
#include "codec/common/tables.h"

namespace g729a {

void pitch_delay_decode(int index, int t_min, int t_max, int subframe, int& T, int& f) {
  if (subframe == 0) {
    if (index < 197) {
      T = (index + 2) / 3 + 19;
      f = (index + 2) % 3 - 1;
    } else {
      T = index - 112;
      f = 0;
    }
    return;
  }
  int lo = T - 5;
  if (lo < t_min) lo = t_min;
  if (lo + 9 > t_max) lo = t_max - 9;
  T = lo + (index + 2) / 3 - 1;
  f = (index + 2) % 3 - 1;
}

void fixed_codebook_decode(int C, int S, CodeVector& cv) {
  cv.fill(0.0);
  const int positions[4] = {
      (C & 7) * 5,
      ((C >> 3) & 7) * 5 + 1,
      ((C >> 6) & 7) * 5 + 2,
      ((C >> 10) & 7) * 5 + 3 + ((C >> 9) & 1),
  };
  // The sign bits are random: a table read instead of a branch on each.
  static constexpr double kSigns[2] = {-1.0, 1.0};
  for (int k = 0; k < 4; ++k) cv[positions[k]] = kSigns[(S >> k) & 1];
}

void gain_decode(int index, const CodeVector& cv, int T, std::array<double, 4>& predictor_memory,
                 double& gain_pitch, double& gain_code) {
  const int i1 = gain_unmap1[index >> 4];
  const int i2 = gain_unmap2[index & 15];
  gain_pitch = gain_cb1[i1][0] + gain_cb2[i2][0];

  const double g0 = predicted_code_gain(cv.data(), T, predictor_memory);

  const double gamma = gain_cb1[i1][1] + gain_cb2[i2][1];
  gain_code = g0 * gamma;
  gain_predictor_update(predictor_memory, i1, i2);
}

}  // namespace g729a
