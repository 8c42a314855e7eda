// One side of an A/B comparison: the codec of one revision, compiled with
// its namespace renamed (-Dg729a=g729a_<side>), behind plain C entry points,
// so that two revisions can be linked into one process.
#include <cstdint>
#include <new>
#include <span>

#include "g729a/codec.h"

#define AB_NAME2(side, name) ab_##side##_##name
#define AB_NAME(side, name) AB_NAME2(side, name)

extern "C" {
void* AB_NAME(AB_SIDE, encoder)() {
  return new g729a::EncoderState;
}
void* AB_NAME(AB_SIDE, decoder)() {
  return new g729a::DecoderState;
}
void AB_NAME(AB_SIDE, encoder_init)(void* s) {
  g729a::encoder_init(*static_cast<g729a::EncoderState*>(s));
}
void AB_NAME(AB_SIDE, decoder_init)(void* s) {
  g729a::decoder_init(*static_cast<g729a::DecoderState*>(s));
}
void AB_NAME(AB_SIDE, encode)(void* s, const std::int16_t* pcm, std::uint8_t* frame) {
  g729a::encoder_encode(*static_cast<g729a::EncoderState*>(s),
                        std::span<const std::int16_t, 80>(pcm, 80),
                        std::span<std::uint8_t, 10>(frame, 10));
}
void AB_NAME(AB_SIDE, decode)(void* s, const std::uint8_t* frame, std::int16_t* pcm) {
  g729a::decoder_decode(*static_cast<g729a::DecoderState*>(s),
                        std::span<const std::uint8_t>(frame, 10),
                        std::span<std::int16_t, 80>(pcm, 80));
}
void AB_NAME(AB_SIDE, decode_sid)(void* s, const std::uint8_t* frame, std::int16_t* pcm) {
  g729a::decoder_decode(*static_cast<g729a::DecoderState*>(s),
                        std::span<const std::uint8_t>(frame, 2),
                        std::span<std::int16_t, 80>(pcm, 80));
}
}
