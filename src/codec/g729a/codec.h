// The G.729 Annex A codec: 80 samples of 16-bit PCM (10 ms at 8 kHz) in, one
// 10-byte speech frame out, and back. The caller owns the state records and
// may place them anywhere; nothing is allocated, nothing kept elsewhere.
// Calls on one state must not overlap; different states are independent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "g729a/decoder_state.h"
#include "g729a/encoder_state.h"
#include "g729a/frame_geometry.h"

namespace g729a {

struct EncoderOptions {
  // Discontinuous transmission: frames judged inactive go out as 2-byte SID
  // frames when the background noise changes and as nothing otherwise.
  bool dtx = false;
};

// out: state, ready for the first frame (any previous content is ignored).
void encoder_init(EncoderState& state, EncoderOptions options = {});

// Turns DTX on or off between frames; a decoder's view of the stream stays
// consistent either way. inout: state.
void encoder_set_dtx(EncoderState& state, bool dtx);

// One frame: the input high-pass filter, analysis and quantization, packing.
// Returns the bytes written at the start of frame: 10 (speech), or with DTX
// 2 (SID) or 0 (nothing to send for this frame).
// in: pcm; inout: state; out: frame.
std::size_t encoder_encode(EncoderState& state, std::span<const std::int16_t, kFrameLength> pcm,
                           std::span<std::uint8_t, kSpeechFrameBytes> frame);

// out: state, ready for the first frame (any previous content is ignored).
void decoder_init(DecoderState& state);

// One received frame: 10 bytes of speech or a 2-byte SID frame (comfort
// noise). Returns false for any other length, without reading the frame or
// touching state and pcm.
// in: frame; inout: state; out: pcm.
bool decoder_decode(DecoderState& state, std::span<const std::uint8_t> frame,
                    std::span<std::int16_t, kFrameLength> pcm);

// A frame was expected and nothing usable arrived: the previous envelope and
// excitation continue with decaying gains (G.729 concealment); the frame
// counts as speech afterwards. After a SID frame or comfort noise the frame
// counts as untransmitted instead: the comfort noise goes on exactly as
// decoder_decode_untransmitted continues it. inout: state; out: pcm.
void decoder_decode_erased(DecoderState& state, std::span<std::int16_t, kFrameLength> pcm);

// No frame was sent (a DTX gap after a SID frame): the comfort noise goes
// on, its gain moving towards the last one received, envelope and predictors
// unchanged. When the last frame that arrived was speech (its SID frame was
// lost) the frame is concealed as an erased one instead.
// inout: state; out: pcm.
void decoder_decode_untransmitted(DecoderState& state, std::span<std::int16_t, kFrameLength> pcm);

// The input high-pass filter alone, as encoder_encode applies it: for
// measuring against the speech band the codec keeps.
// inout: memory (zero for a fresh start), signal (filtered in place).
void encoder_preprocess(BiquadMemory& memory, std::span<double> signal);

}  // namespace g729a
