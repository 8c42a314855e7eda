// The C library: opaque states that hold the codec API's records, checked
// arguments, and error codes instead of contracts.
#include "g729a/g729a.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <span>

#include "g729a/codec.h"

struct G729AEncoder {
  g729a::EncoderState state;
};

struct G729ADecoder {
  g729a::DecoderState state;
};

namespace {

// Caller memory is promised to be aligned as malloc's is.
static_assert(alignof(G729AEncoder) <= alignof(std::max_align_t));
static_assert(alignof(G729ADecoder) <= alignof(std::max_align_t));
static_assert(G729A_FRAME_SAMPLES == g729a::kFrameLength);
static_assert(G729A_FRAME_BYTES == g729a::kSpeechFrameBytes);
static_assert(G729A_SID_BYTES == g729a::kSidFrameBytes);

template <class T>
bool misaligned(const T* p) {
  return reinterpret_cast<std::uintptr_t>(p) % alignof(T) != 0;
}

// Whether the encoder offers what the flags ask for: the one place that
// decides which flags are accepted.
int check_encoder_flags(int flags) {
  if ((flags & ~G729A_DTX) != 0) return G729A_BAD_ARG;
  return G729A_OK;
}

void set_error(int* error, int value) {
  if (error != nullptr) *error = value;
}

// A state in memory from malloc, prepared by init; *error (when asked for)
// receives the outcome.
template <class State, class Init>
State* create(int* error, Init init) {
  auto* state = static_cast<State*>(std::malloc(sizeof(State)));
  int status = G729A_ALLOC_FAIL;
  if (state != nullptr) status = init(state);
  set_error(error, status);
  if (status == G729A_OK) return state;
  std::free(state);
  return nullptr;
}

}  // namespace

extern "C" {

int g729a_encoder_get_size(void) {
  return static_cast<int>(sizeof(G729AEncoder));
}

int g729a_encoder_init(G729AEncoder* enc, int flags) {
  if (enc == nullptr || misaligned(enc)) return G729A_BAD_ARG;
  if (const int status = check_encoder_flags(flags); status != G729A_OK) return status;
  auto* fresh = new (enc) G729AEncoder;
  g729a::encoder_init(fresh->state, g729a::EncoderOptions{.dtx = (flags & G729A_DTX) != 0});
  return G729A_OK;
}

G729AEncoder* g729a_encoder_create(int flags, int* error) {
  return create<G729AEncoder>(
      error, [flags](G729AEncoder* enc) { return g729a_encoder_init(enc, flags); });
}

void g729a_encoder_destroy(G729AEncoder* enc) {
  std::free(enc);
}

int g729a_encode(G729AEncoder* enc, const int16_t* pcm, unsigned char* out, int max_bytes) {
  if (enc == nullptr || pcm == nullptr || out == nullptr) return G729A_BAD_ARG;
  if (max_bytes < G729A_FRAME_BYTES) return G729A_BUFFER_TOO_SMALL;
  const std::size_t written =
      g729a::encoder_encode(enc->state, std::span<const std::int16_t, g729a::kFrameLength>(pcm, 80),
                            std::span<std::uint8_t, g729a::kSpeechFrameBytes>(out, 10));
  return static_cast<int>(written);
}

int g729a_decoder_get_size(void) {
  return static_cast<int>(sizeof(G729ADecoder));
}

int g729a_decoder_init(G729ADecoder* dec) {
  if (dec == nullptr || misaligned(dec)) return G729A_BAD_ARG;
  auto* fresh = new (dec) G729ADecoder;
  g729a::decoder_init(fresh->state);
  return G729A_OK;
}

G729ADecoder* g729a_decoder_create(int* error) {
  return create<G729ADecoder>(error, g729a_decoder_init);
}

void g729a_decoder_destroy(G729ADecoder* dec) {
  std::free(dec);
}

int g729a_decode(G729ADecoder* dec, const unsigned char* data, int len, int16_t* pcm) {
  if (dec == nullptr || pcm == nullptr) return G729A_BAD_ARG;
  const std::span<std::int16_t, g729a::kFrameLength> out(pcm, g729a::kFrameLength);
  if (data == nullptr) {
    g729a::decoder_decode_erased(dec->state, out);
  } else if (len == 0) {
    g729a::decoder_decode_untransmitted(dec->state, out);
  } else if (len != G729A_FRAME_BYTES && len != G729A_SID_BYTES) {
    return G729A_INVALID_PACKET;
  } else {
    g729a::decoder_decode(dec->state, std::span<const std::uint8_t>(data, std::size_t(len)), out);
  }
  return G729A_FRAME_SAMPLES;
}

const char* g729a_strerror(int error) {
  switch (error) {
    case G729A_OK:
      return "success";
    case G729A_BAD_ARG:
      return "invalid argument";
    case G729A_BUFFER_TOO_SMALL:
      return "output buffer too small";
    case G729A_INVALID_PACKET:
      return "invalid frame length";
    case G729A_UNSUPPORTED:
      return "not supported by this build of the library";
    case G729A_ALLOC_FAIL:
      return "memory allocation failed";
    default:
      return "unknown error";
  }
}

const char* g729a_version_string(void) {
  return "libg729a " G729A_LIBRARY_VERSION;
}

}  // extern "C"
