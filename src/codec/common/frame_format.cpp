#include "codec/common/frame_format.h"

namespace g729a {

std::int32_t pitch_parity(std::int32_t p1) {
  std::int32_t sum = 1;
  for (int bit = 2; bit <= 7; ++bit) sum += (p1 >> bit) & 1;
  return sum & 1;
}

void pack_speech_frame(const FrameParameters& in, std::span<std::uint8_t, kSpeechFrameBytes> out) {
  const auto slot = [&](int i) { return static_cast<std::uint32_t>(in.slots[i]); };
  // Every field is masked to its width so that a bad slot can never spill
  // into its neighbours.
  const std::uint32_t w0 = ((slot(kSlotL0L1) & 0xFFu) << 24) | ((slot(kSlotL2L3) & 0x3FFu) << 14) |
                           ((slot(kSlotP1) & 0xFFu) << 6) | ((slot(kSlotP0) & 1u) << 5) |
                           ((slot(kSlotC1) >> 8) & 0x1Fu);
  const std::uint32_t w1 = ((slot(kSlotC1) & 0xFFu) << 24) | ((slot(kSlotS1) & 0xFu) << 20) |
                           ((slot(kSlotGain1) & 0x7Fu) << 13) | ((slot(kSlotP2) & 0x1Fu) << 8) |
                           ((slot(kSlotC2) >> 5) & 0xFFu);
  const std::uint32_t w2 =
      ((slot(kSlotC2) & 0x1Fu) << 11) | ((slot(kSlotS2) & 0xFu) << 7) | (slot(kSlotGain2) & 0x7Fu);
  for (int i = 0; i < 4; ++i) {
    out[i] = static_cast<std::uint8_t>(w0 >> (24 - 8 * i));
    out[4 + i] = static_cast<std::uint8_t>(w1 >> (24 - 8 * i));
  }
  out[8] = static_cast<std::uint8_t>(w2 >> 8);
  out[9] = static_cast<std::uint8_t>(w2);
}

namespace {

std::uint32_t big_endian_word(const std::uint8_t* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
         (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

}  // namespace

void pack_sid_frame(const FrameParameters& in, std::span<std::uint8_t, kSidFrameBytes> out) {
  const auto field = [&](int i, std::uint32_t mask) {
    return static_cast<std::uint32_t>(in.slots[i]) & mask;
  };
  const std::uint32_t w = field(kSlotSidSwitch, 1) << 15 | field(kSlotSidStage1, 31) << 10 |
                          field(kSlotSidStage2, 15) << 6 | field(kSlotSidEnergy, 31) << 1;
  out[0] = static_cast<std::uint8_t>(w >> 8);
  out[1] = static_cast<std::uint8_t>(w & 0xFF);
}

bool unpack_frame(const std::uint8_t* payload, int length, FrameParameters& out) {
  if (length == kSpeechFrameBytes) {
    const std::uint32_t w0 = big_endian_word(payload);
    const std::uint32_t w1 = big_endian_word(payload + 4);
    const std::uint32_t w2 = (static_cast<std::uint32_t>(payload[8]) << 8) | payload[9];
    auto& s = out.slots;
    out.kind = FrameKind::Speech;
    s[kSlotL0L1] = static_cast<std::int32_t>(w0 >> 24);
    s[kSlotL2L3] = static_cast<std::int32_t>((w0 >> 14) & 0x3FF);
    s[kSlotP1] = static_cast<std::int32_t>((w0 >> 6) & 0xFF);
    const std::int32_t p0 = static_cast<std::int32_t>((w0 >> 5) & 1);
    s[kSlotP0] = pitch_parity(s[kSlotP1]) ^ p0;
    s[kSlotC1] = static_cast<std::int32_t>((w0 & 0x1F) * 256 + (w1 >> 24));
    s[kSlotS1] = static_cast<std::int32_t>((w1 >> 20) & 0xF);
    s[kSlotGain1] = static_cast<std::int32_t>((w1 >> 13) & 0x7F);
    s[kSlotP2] = static_cast<std::int32_t>((w1 >> 8) & 0x1F);
    s[kSlotC2] = static_cast<std::int32_t>((w1 & 0xFF) * 32 + (w2 >> 11));
    s[kSlotS2] = static_cast<std::int32_t>((w2 >> 7) & 0xF);
    s[kSlotGain2] = static_cast<std::int32_t>(w2 & 0x7F);
    return true;
  }
  if (length == kSidFrameBytes) {
    const std::uint32_t w = (static_cast<std::uint32_t>(payload[0]) << 8) | payload[1];
    out.kind = FrameKind::Sid;
    out.slots.fill(0);
    out.slots[kSlotSidSwitch] = static_cast<std::int32_t>(w >> 15);
    out.slots[kSlotSidStage1] = static_cast<std::int32_t>((w >> 10) & 31);
    out.slots[kSlotSidStage2] = static_cast<std::int32_t>((w >> 6) & 15);
    out.slots[kSlotSidEnergy] = static_cast<std::int32_t>((w >> 1) & 31);
    return true;
  }
  return false;
}

}  // namespace g729a
