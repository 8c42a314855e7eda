// The module's two translators as the host sees them.
#pragma once

#include <array>
#include <cstdint>

#include "g729a/codec.h"
#include "host/corvane.h"

namespace g729a {

// Static records; the host writes only its own trailing fields.
extern TranslatorDescriptor lintog729_descriptor;
extern TranslatorDescriptor g729tolin_descriptor;

// File name the translators report in their log lines.
inline constexpr const char* kLogFile = "codec_g729a.c";

// Both translators hold at most this many samples per instance.
inline constexpr int kBufferSamples = 8000;

// A voice frame of read-only sample data for the host's translation-path
// checks; the host fields stay zero.
inline HostFrame sample_frame(int format, int data_length, int samples, const char* source,
                              const void* payload) {
  HostFrame frame{};
  frame.frame_type = CVN_FRAME_VOICE;
  frame.format = format;
  frame.data_length = data_length;
  frame.samples = samples;
  frame.source = source;
  // The host only reads sample frames.
  frame.payload = const_cast<void*>(payload);
  return frame;
}

// The encoder translator's state block: the codec's record and the samples
// waiting for a whole frame.
struct EncoderChannel {
  EncoderState codec;
  std::array<std::int16_t, kBufferSamples> input;
  // With DTX, a frame coded after a silent run waits here for the next
  // frameout: each returned frame reports one kind of stretch.
  std::array<std::uint8_t, kSpeechFrameBytes> held;
  std::int32_t held_bytes;  // 0 when nothing waits
};

// The decoder translator's state block; its output waits in the host's buffer.
struct DecoderChannel {
  DecoderState codec;
};

// Logged when an instance's sample_count lies outside its buffer: the count
// and the buffer's capacity.
inline constexpr const char* kBadCountMessage = "Invalid sample count (%d, buffer holds %d)\n";

}  // namespace g729a
