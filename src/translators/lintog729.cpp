// Encoder translator: buffers linear audio and encodes it in 80-sample
// frames, hands back packed 10-byte frames.
#include <cstring>
#include <span>
#include <tuple>

#include "codec_g729a.h"
#include "translators/sample_frames.h"
#include "translators/translators.h"

namespace g729a {
namespace {

// framein's space check keeps sample_count within the buffer the memcpy
// fills, and the host allocates state_size bytes for it.
static_assert(std::tuple_size_v<decltype(EncoderChannel::input)> == kBufferSamples);

EncoderChannel& encoder_channel(TranslatorInstance* pvt) {
  return *static_cast<EncoderChannel*>(pvt->codec_state);
}

// in: pvt; out: the state block made ready for the first frame.
int lintog729_new(TranslatorInstance* pvt) {
  encoder_init(encoder_channel(pvt).codec);
  encoder_channel(pvt).held_bytes = 0;
  return 0;
}

// inout: pvt (sample_count, input_buffer); in: frame.
int lintog729_framein(TranslatorInstance* pvt, HostFrame* frame) {
  if (frame == nullptr) {
    cvn_log(CVN_LOG_WARNING, kLogFile, __LINE__, __func__, "Invalid frame (none)\n");
    return -1;
  }
  // A count the host corrupted would move the copy outside input_buffer.
  if (pvt->sample_count < 0 || pvt->sample_count > kBufferSamples) {
    cvn_log(CVN_LOG_WARNING, kLogFile, __LINE__, __func__, kBadCountMessage, pvt->sample_count,
            kBufferSamples);
    return -1;
  }
  const int n = frame->samples;
  // The payload holds data_length bytes; never read past them.
  if (n < 0 || n > frame->data_length / 2) {
    cvn_log(CVN_LOG_WARNING, kLogFile, __LINE__, __func__,
            "Invalid frame (%d samples in %d bytes)\n", n, frame->data_length);
    return -1;
  }
  if (n > 0 && frame->payload == nullptr) {
    cvn_log(CVN_LOG_WARNING, kLogFile, __LINE__, __func__,
            "Invalid frame (no payload for %d samples)\n", n);
    return -1;
  }
  if (n > kBufferSamples - pvt->sample_count) {
    cvn_log(CVN_LOG_WARNING, kLogFile, __LINE__, __func__, "Out of buffer space\n");
    return -1;
  }
  if (n > 0) {
    std::memcpy(&encoder_channel(pvt).input[pvt->sample_count], frame->payload,
                static_cast<std::size_t>(n) * sizeof(std::int16_t));
    pvt->sample_count += n;
  }
  return 0;
}

// The samples [position, position + sample_count) move to the front of the
// input. inout: pvt, channel.
void keep_rest(TranslatorInstance* pvt, EncoderChannel& channel, int position) {
  if (pvt->sample_count != 0 && position != 0) {
    std::memmove(&channel.input[0], &channel.input[position],
                 static_cast<std::size_t>(pvt->sample_count) * sizeof(std::int16_t));
  }
}

// A stretch with nothing to send: a frame without payload whose samples
// count the time that passed. inout: pvt.
HostFrame* silent_frame(TranslatorInstance* pvt, int samples) {
  HostFrame& f = pvt->out_frame;
  f = HostFrame{};
  f.frame_type = CVN_FRAME_VOICE;
  f.format = G729A;
  f.data_length = 0;
  f.samples = samples;
  f.source = lintog729_descriptor.name;
  f.payload = pvt->output_buffer;
  return &f;
}

// frameout with DTX: one call returns either a run of speech frames,
// possibly ended by one SID frame, or a silent stretch (see silent_frame);
// the host calls again until nothing is returned. inout: pvt, channel.
HostFrame* dtx_frameout(TranslatorInstance* pvt, EncoderChannel& channel) {
  auto* out = static_cast<std::uint8_t*>(pvt->output_buffer);
  int offset = 0;
  int covered = 0;  // samples the payload stands for
  int silent = 0;   // samples of a run with nothing to send
  int position = 0;
  bool ended = false;  // a SID frame ends a payload
  if (channel.held_bytes > 0) {
    std::memcpy(out, channel.held.data(), static_cast<std::size_t>(channel.held_bytes));
    offset = channel.held_bytes;
    covered = kFrameLength;
    ended = channel.held_bytes == kSidFrameBytes;
    channel.held_bytes = 0;
  }
  while (!ended && pvt->sample_count >= kFrameLength) {
    std::array<std::uint8_t, kSpeechFrameBytes> frame;
    const auto n = static_cast<int>(encoder_encode(
        channel.codec,
        std::span<const std::int16_t, kFrameLength>(&channel.input[position], kFrameLength),
        frame));
    position += kFrameLength;
    pvt->sample_count -= kFrameLength;
    if (n == 0) {
      silent += kFrameLength;
      continue;
    }
    if (silent > 0) {
      channel.held = frame;
      channel.held_bytes = n;
      break;
    }
    std::memcpy(out + offset, frame.data(), static_cast<std::size_t>(n));
    offset += n;
    covered += kFrameLength;
    ended = n == kSidFrameBytes;
  }
  keep_rest(pvt, channel, position);
  // Speech always ends in a SID frame before a silent run: the two never
  // meet in one call.
  if (silent > 0) return silent_frame(pvt, silent);
  if (offset == 0) return nullptr;
  return cvn_trans_frameout(pvt, offset, covered);
}

// inout: pvt (sample_count, input_buffer, codec state); out: output_buffer.
HostFrame* lintog729_frameout(TranslatorInstance* pvt) {
  // A count beyond input_buffer would have the encoder read past it.
  if (pvt->sample_count < 0 || pvt->sample_count > kBufferSamples) {
    cvn_log(CVN_LOG_WARNING, kLogFile, __LINE__, __func__, kBadCountMessage, pvt->sample_count,
            kBufferSamples);
    return nullptr;
  }
  EncoderChannel& channel = encoder_channel(pvt);
  if (channel.codec.dtx || channel.held_bytes > 0) return dtx_frameout(pvt, channel);
  if (pvt->sample_count < kFrameLength) return nullptr;
  auto* out = static_cast<std::uint8_t*>(pvt->output_buffer);
  int offset = 0;
  int position = 0;
  do {
    encoder_encode(
        channel.codec,
        std::span<const std::int16_t, kFrameLength>(&channel.input[position], kFrameLength),
        std::span<std::uint8_t, kSpeechFrameBytes>(out + offset, kSpeechFrameBytes));
    offset += kSpeechFrameBytes;
    position += kFrameLength;
    pvt->sample_count -= kFrameLength;
  } while (pvt->sample_count >= kFrameLength);
  keep_rest(pvt, channel, position);
  return cvn_trans_frameout(pvt, offset, position);
}

void lintog729_destroy(TranslatorInstance* /*pvt*/) {}

HostFrame* lintog729_sample() {
  static HostFrame frame = sample_frame(SLINEAR, static_cast<int>(sizeof lintog729_sample_pcm),
                                        static_cast<int>(lintog729_sample_pcm.size()),
                                        "lintog729_sample", lintog729_sample_pcm.data());
  return &frame;
}

}  // namespace

TranslatorDescriptor lintog729_descriptor = {
    .name = "lintog729",
    .source_format = SLINEAR,
    .destination_format = G729A,
    .constructor = lintog729_new,
    .framein = lintog729_framein,
    .frameout = lintog729_frameout,
    .destroy = lintog729_destroy,
    .sample = lintog729_sample,
    .buffer_samples = kBufferSamples,
    .buffer_size = kBufferSamples * 2,
    .state_size = sizeof(EncoderChannel),
    .module = nullptr,
    .cost = 0,
    .next = nullptr,
};

}  // namespace g729a

extern "C" int lintog729_set_dtx(TranslatorInstance* pvt, int on) {
  if (pvt == nullptr || pvt->translator != &g729a::lintog729_descriptor ||
      pvt->codec_state == nullptr) {
    cvn_log(CVN_LOG_WARNING, g729a::kLogFile, __LINE__, __func__, "Not a lintog729 instance\n");
    return -1;
  }
  g729a::encoder_set_dtx(g729a::encoder_channel(pvt).codec, on != 0);
  return 0;
}
