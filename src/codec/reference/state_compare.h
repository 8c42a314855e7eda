// Field-by-field comparison of two codec state records, bit for bit, for
// tests that hold the fast codec against the reference.
#pragma once

#include <string>

#include "g729a/decoder_state.h"
#include "g729a/encoder_state.h"

namespace g729a {

// The first field (in declaration order, then element order) whose bits
// differ, with both values, e.g. "agc_gain: 0.5 != 0.50000000000000011";
// empty when the records are the same. in: a, b.
std::string first_state_difference(const EncoderState& a, const EncoderState& b);
std::string first_state_difference(const DecoderState& a, const DecoderState& b);

}  // namespace g729a
