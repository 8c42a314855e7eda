// Encoder translator: buffers linear audio and encodes it in 80-sample
// frames, hands back packed 10-byte frames.
#include <cstring>
#include <span>
#include <tuple>

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

// inout: pvt (sample_count, input_buffer, codec state); out: output_buffer.
HostFrame* lintog729_frameout(TranslatorInstance* pvt) {
  // A count beyond input_buffer would have the encoder read past it.
  if (pvt->sample_count < 0 || pvt->sample_count > kBufferSamples) {
    cvn_log(CVN_LOG_WARNING, kLogFile, __LINE__, __func__, kBadCountMessage, pvt->sample_count,
            kBufferSamples);
    return nullptr;
  }
  if (pvt->sample_count < kFrameLength) return nullptr;
  EncoderChannel& channel = encoder_channel(pvt);
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
  if (pvt->sample_count != 0) {
    std::memmove(&channel.input[0], &channel.input[position],
                 static_cast<std::size_t>(pvt->sample_count) * sizeof(std::int16_t));
  }
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
