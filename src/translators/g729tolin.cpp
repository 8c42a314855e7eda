// Decoder translator: splits G.729 payloads into 10-byte speech frames and
// a trailing 2-byte SID frame, decodes each into the output buffer.
#include <cstdint>

#include "codec_g729a.h"
#include "translators/sample_frames.h"
#include "translators/translators.h"

namespace g729a {
namespace {

// The host collects output only up to this many waiting samples.
constexpr int kLastFrameStart = kBufferSamples - kFrameLength;

DecoderState& decoder_state(TranslatorInstance* pvt) {
  return static_cast<DecoderChannel*>(pvt->codec_state)->codec;
}

// in: pvt; out: the state block made ready for the first frame.
int g729tolin_new(TranslatorInstance* pvt) {
  decoder_init(decoder_state(pvt));
  return 0;
}

// inout: pvt (counts, output_buffer, codec state); in: frame.
int g729tolin_framein(TranslatorInstance* pvt, HostFrame* frame) {
  if (frame == nullptr) {
    cvn_log(CVN_LOG_WARNING, kLogFile, __LINE__, __func__, "Invalid frame (none)\n");
    return -1;
  }
  // A count the host corrupted would have frames decoded outside output_buffer.
  if (pvt->sample_count < 0 || pvt->sample_count > kBufferSamples) {
    cvn_log(CVN_LOG_WARNING, kLogFile, __LINE__, __func__, kBadCountMessage, pvt->sample_count,
            kBufferSamples);
    return -1;
  }
  int remaining = frame->data_length;
  if (remaining <= 0) return 0;
  if (frame->payload == nullptr) {
    cvn_log(CVN_LOG_WARNING, kLogFile, __LINE__, __func__,
            "Invalid frame (no payload for %d bytes)\n", remaining);
    return -1;
  }
  const auto* payload = static_cast<const std::uint8_t*>(frame->payload);
  auto* out = static_cast<std::int16_t*>(pvt->output_buffer);
  int offset = 0;
  do {
    int length = 0;
    if (remaining > 9) {
      length = kSpeechFrameBytes;
    } else if (remaining == kSidFrameBytes) {
      length = kSidFrameBytes;
    } else {
      cvn_log(CVN_LOG_WARNING, kLogFile, __LINE__, __func__, "Invalid data (%d bytes at the end)\n",
              remaining);
      return -1;
    }
    if (pvt->sample_count > kLastFrameStart) {
      cvn_log(CVN_LOG_WARNING, kLogFile, __LINE__, __func__, "Out of buffer space\n");
      return -1;
    }
    decoder_decode(decoder_state(pvt), std::span<const std::uint8_t>(payload + offset, length),
                   std::span<std::int16_t, kFrameLength>(out + pvt->sample_count, kFrameLength));
    pvt->sample_count += kFrameLength;
    pvt->byte_count += 2 * kFrameLength;
    remaining -= length;
    offset += length;
  } while (remaining > 0);
  return 0;
}

// Appends one frame made from the state alone. in: function (for the log
// line), make; inout: pvt.
int append_generated_frame(TranslatorInstance* pvt, const char* function,
                           void (*make)(DecoderState&, std::span<std::int16_t, kFrameLength>)) {
  if (pvt->sample_count > kLastFrameStart) {
    cvn_log(CVN_LOG_WARNING, kLogFile, __LINE__, function, "Out of buffer space\n");
    return -1;
  }
  auto* out = static_cast<std::int16_t*>(pvt->output_buffer);
  make(decoder_state(pvt),
       std::span<std::int16_t, kFrameLength>(out + pvt->sample_count, kFrameLength));
  pvt->sample_count += kFrameLength;
  pvt->byte_count += 2 * kFrameLength;
  return 0;
}

void g729tolin_destroy(TranslatorInstance* /*pvt*/) {}

HostFrame* g729tolin_sample() {
  constexpr int kBytes = static_cast<int>(g729tolin_sample_payload.size());
  static HostFrame frame = sample_frame(G729A, kBytes, kBytes / kSpeechFrameBytes * kFrameLength,
                                        "g729tolin_sample", g729tolin_sample_payload.data());
  return &frame;
}

}  // namespace

TranslatorDescriptor g729tolin_descriptor = {
    .name = "g729tolin",
    .source_format = G729A,
    .destination_format = SLINEAR,
    .constructor = g729tolin_new,
    .framein = g729tolin_framein,
    .frameout = nullptr,
    .destroy = g729tolin_destroy,
    .sample = g729tolin_sample,
    .buffer_samples = kBufferSamples,
    .buffer_size = kBufferSamples * 2,
    .state_size = sizeof(DecoderChannel),
    .module = nullptr,
    .cost = 0,
    .next = nullptr,
};

}  // namespace g729a

extern "C" int g729tolin_erased(TranslatorInstance* pvt) {
  return g729a::append_generated_frame(pvt, __func__, g729a::decoder_decode_erased);
}

extern "C" int g729tolin_untransmitted(TranslatorInstance* pvt) {
  return g729a::append_generated_frame(pvt, __func__, g729a::decoder_decode_untransmitted);
}
