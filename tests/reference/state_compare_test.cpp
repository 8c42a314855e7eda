// The state comparison the differential tests rely on names the first
// differing field in declaration order, with its element and both values,
// and sees every bit: the sign of zero, NaN payloads and the last place.
#include "codec/reference/state_compare.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "g729a/codec.h"

namespace {

using g729a::first_state_difference;

TEST(StateCompare, NamesTheFirstDifferingFieldAndSeesEveryBit) {
  g729a::DecoderState a, b;
  g729a::decoder_init(a);
  g729a::decoder_init(b);
  EXPECT_EQ(first_state_difference(a, b), "");
  b.agc_gain = 0.5;
  b.residual_buffer[7] = 2.0;  // declared before agc_gain
  EXPECT_EQ(first_state_difference(a, b), "residual_buffer[7]: 0 != 2");
  b.residual_buffer[7] = 0.0;
  EXPECT_EQ(first_state_difference(a, b), "agc_gain: 1 != 0.5");
  b.agc_gain = a.agc_gain;
  b.lsf_ma_memory[2][9] = std::nextafter(a.lsf_ma_memory[2][9], 4.0);
  EXPECT_EQ(first_state_difference(a, b).rfind("lsf_ma_memory[2][9]: ", 0), 0u);
  b.lsf_ma_memory[2][9] = a.lsf_ma_memory[2][9];
  b.erasure_seed = static_cast<std::int16_t>(a.erasure_seed + 1);
  EXPECT_EQ(first_state_difference(a, b), "erasure_seed: 21845 != 21846");
  b.erasure_seed = a.erasure_seed;
  b.tilt_memory = -0.0;
  EXPECT_EQ(first_state_difference(a, b), "tilt_memory: 0 != -0");
  b.tilt_memory = 0.0;
  a.gain_code = b.gain_code = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(first_state_difference(a, b), "");
  b.gain_code = -a.gain_code;
  EXPECT_NE(first_state_difference(a, b), "");
  b.gain_code = a.gain_code;
  b.sid_gain = std::nextafter(a.sid_gain, 1.0);
  EXPECT_EQ(first_state_difference(a, b), "sid_gain: 0 != 4.9406564584124654e-324");

  g729a::EncoderState e1, e2;
  g729a::encoder_init(e1);
  g729a::encoder_init(e2);
  EXPECT_EQ(first_state_difference(e1, e2), "");
  e2.preprocess_memory[3] = 1.0;  // the last field
  EXPECT_EQ(first_state_difference(e1, e2), "preprocess_memory[3]: 0 != 1");
}

}  // namespace
