// Translator instances and chains of the switch stand-in.
#include <cstring>
#include <new>
#include <stdexcept>

#include "standin.h"

namespace standin {
namespace {

// State blocks hold doubles; keep the output buffer aligned as well.
constexpr std::size_t kAlign = 16;

std::size_t round_up(std::size_t n) {
  return (n + kAlign - 1) / kAlign * kAlign;
}

}  // namespace

Channel::Channel(TranslatorDescriptor* translator) : translator_(translator) {
  if (!translator_) throw std::invalid_argument("no translator for the channel");
  if (translator_->state_size < 0 || translator_->buffer_size < 0) {
    throw std::invalid_argument("translator declares a negative size");
  }
  const std::size_t state = round_up(static_cast<std::size_t>(translator_->state_size));
  const std::size_t buffer = round_up(static_cast<std::size_t>(translator_->buffer_size));
  // vector<uint8_t> storage comes from operator new, aligned for any scalar.
  storage_.assign(state + buffer, 0);
  auto* base = storage_.data();
  pvt_.codec_state = base;
  pvt_.output_buffer = base + state;
  pvt_.translator = translator_;
  if (translator_->constructor) constructor_result_ = translator_->constructor(&pvt_);
}

Channel::~Channel() {
  if (translator_->destroy) translator_->destroy(&pvt_);
}

int Channel::framein(HostFrame& frame) {
  return translator_->framein(&pvt_, &frame);
}

int Channel::framein_pcm(std::span<const std::int16_t> pcm) {
  HostFrame frame{};
  frame.frame_type = CVN_FRAME_VOICE;
  frame.format = translator_->source_format;
  frame.data_length = static_cast<int>(pcm.size_bytes());
  frame.samples = static_cast<int>(pcm.size());
  frame.source = "standin";
  frame.payload = const_cast<std::int16_t*>(pcm.data());
  return framein(frame);
}

int Channel::framein_payload(std::span<const std::uint8_t> payload) {
  HostFrame frame{};
  frame.frame_type = CVN_FRAME_VOICE;
  frame.format = translator_->source_format;
  frame.data_length = static_cast<int>(payload.size());
  frame.samples = 0;
  frame.source = "standin";
  frame.payload = const_cast<std::uint8_t*>(payload.data());
  return framein(frame);
}

HostFrame* Channel::frameout() {
  if (translator_->frameout) return translator_->frameout(&pvt_);
  if (pvt_.sample_count <= 0 && pvt_.byte_count <= 0) return nullptr;
  collected_ = HostFrame{};
  collected_.frame_type = CVN_FRAME_VOICE;
  collected_.format = translator_->destination_format;
  collected_.data_length = pvt_.byte_count;
  collected_.samples = pvt_.sample_count;
  collected_.source = translator_->name;
  collected_.payload = pvt_.output_buffer;
  pvt_.sample_count = 0;
  pvt_.byte_count = 0;
  return &collected_;
}

int Channel::feed_pcm(std::span<const std::int16_t> pcm, std::vector<std::uint8_t>& encoded) {
  const int result = framein_pcm(pcm);
  while (HostFrame* f = frameout()) {
    const auto* bytes = static_cast<const std::uint8_t*>(f->payload);
    encoded.insert(encoded.end(), bytes, bytes + f->data_length);
  }
  return result;
}

int Channel::feed_payload(std::span<const std::uint8_t> payload,
                          std::vector<std::int16_t>& decoded) {
  const int result = framein_payload(payload);
  while (HostFrame* f = frameout()) {
    const auto* samples = static_cast<const std::int16_t*>(f->payload);
    decoded.insert(decoded.end(), samples, samples + f->samples);
  }
  return result;
}

Chain::Chain() {
  TranslatorDescriptor* enc = find_translator(SLINEAR, G729A);
  TranslatorDescriptor* dec = find_translator(G729A, SLINEAR);
  if (!enc || !dec) throw std::runtime_error("SLINEAR <-> G729A translators are not registered");
  encoder_ = std::make_unique<Channel>(enc);
  decoder_ = std::make_unique<Channel>(dec);
}

int Chain::feed(std::span<const std::int16_t> pcm, std::vector<std::int16_t>& out) {
  std::vector<std::uint8_t> encoded;
  const int result = encoder_->feed_pcm(pcm, encoded);
  if (encoded.empty()) return result;
  const int decoded = decoder_->feed_payload(encoded, out);
  return result != 0 ? result : decoded;
}

}  // namespace standin
