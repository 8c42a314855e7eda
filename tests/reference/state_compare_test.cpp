// The state comparison the differential tests rely on: it must name the
// first differing field and element, see every bit, and stay silent only
// for identical records.
#include "codec/reference/state_compare.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "g729a/codec.h"

namespace {

using g729a::first_state_difference;

struct Decoders {
  g729a::DecoderState a, b;
  Decoders() {
    g729a::decoder_init(a);
    g729a::decoder_init(b);
  }
};

TEST(StateCompare, IdenticalRecordsHaveNoDifference) {
  Decoders d;
  EXPECT_EQ(first_state_difference(d.a, d.b), "");
  g729a::EncoderState e1, e2;
  g729a::encoder_init(e1);
  g729a::encoder_init(e2);
  EXPECT_EQ(first_state_difference(e1, e2), "");
}

TEST(StateCompare, NamesTheFirstFieldInDeclarationOrderWithBothValues) {
  Decoders d;
  d.b.agc_gain = 0.5;
  d.b.synthesis_buffer[89] = 3.0;
  d.b.residual_buffer[7] = 2.0;  // declared before both
  EXPECT_EQ(first_state_difference(d.a, d.b), "residual_buffer[7]: 0 != 2");
  d.b.residual_buffer[7] = 0.0;
  EXPECT_EQ(first_state_difference(d.a, d.b), "agc_gain: 1 != 0.5");
}

TEST(StateCompare, NestedArraysAndIntegerFieldsAreNamed) {
  Decoders d;
  d.b.lsf_ma_memory[2][9] = std::nextafter(d.a.lsf_ma_memory[2][9], 4.0);
  EXPECT_EQ(first_state_difference(d.a, d.b).rfind("lsf_ma_memory[2][9]: ", 0), 0u);
  Decoders e;
  e.b.erasure_seed = static_cast<std::int16_t>(e.a.erasure_seed + 1);
  EXPECT_EQ(first_state_difference(e.a, e.b), "erasure_seed: 21845 != 21846");
  g729a::EncoderState e1, e2;
  g729a::encoder_init(e1);
  g729a::encoder_init(e2);
  e2.preprocess_memory[3] = 1.0;  // the last field
  EXPECT_EQ(first_state_difference(e1, e2), "preprocess_memory[3]: 0 != 1");
}

// Bits, not values: the last bit, the sign of zero and NaN all count.
TEST(StateCompare, EveryBitCounts) {
  Decoders d;
  d.b.tilt_memory = -0.0;
  EXPECT_EQ(first_state_difference(d.a, d.b), "tilt_memory: 0 != -0");
  d.b.tilt_memory = 0.0;
  d.a.gain_code = std::numeric_limits<double>::quiet_NaN();
  d.b.gain_code = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(first_state_difference(d.a, d.b), "");
  d.b.gain_code = -std::numeric_limits<double>::quiet_NaN();
  EXPECT_NE(first_state_difference(d.a, d.b), "");
  d.b.gain_code = d.a.gain_code;
  d.b.sid_gain = std::nextafter(d.a.sid_gain, 1.0);
  EXPECT_EQ(first_state_difference(d.a, d.b), "sid_gain: 0 != 4.9406564584124654e-324");
}

}  // namespace
