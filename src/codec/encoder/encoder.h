// The G.729 Annex A encoder: one 80-sample frame of pre-processed speech in,
// one speech-frame parameter record out.
#pragma once

#include "codec/common/frame_format.h"
#include "codec/encoder/encoder_state.h"

namespace g729a {

// Sets every codec field of the state to its initial value (the translator
// fields are left to the translator).
void encoder_init(EncoderState& state);

// in: the 80 new samples at speech_buffer[speech_new]; out: a Speech record.
void encode_frame(EncoderState& state, FrameParameters& out);

}  // namespace g729a
