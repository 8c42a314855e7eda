// Parameter record of one 10 ms frame and its two byte formats: the 10-byte
// speech frame and the 2-byte SID frame.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "g729a/frame_geometry.h"

namespace g729a {

enum class FrameKind : std::int32_t { Speech = 1, Sid = 2 };

// slots[0] is slot 1. Speech: L0|L1, L2|L3, P1, P0 (parity_error after
// unpacking), C1, S1, GA1|GB1, P2, C2, S2, GA2|GB2.
// Sid: sid_switch, sid_stage1, sid_stage2, sid_energy, then unused.
struct FrameParameters {
  FrameKind kind = FrameKind::Speech;
  std::array<std::int32_t, 11> slots{};
};

// Slot numbers (0-based) of the speech record.
enum SpeechSlot : int {
  kSlotL0L1 = 0,
  kSlotL2L3 = 1,
  kSlotP1 = 2,
  kSlotP0 = 3,
  kSlotC1 = 4,
  kSlotS1 = 5,
  kSlotGain1 = 6,
  kSlotP2 = 7,
  kSlotC2 = 8,
  kSlotS2 = 9,
  kSlotGain2 = 10,
};

enum SidSlot : int {
  kSlotSidSwitch = 0,
  kSlotSidStage1 = 1,
  kSlotSidStage2 = 2,
  kSlotSidEnergy = 3
};

// P0 for a pitch index P1: 1 plus bits 2..7 of P1, modulo 2. in: p1.
std::int32_t pitch_parity(std::int32_t p1);

// in: a Speech record; out: 10 bytes.
void pack_speech_frame(const FrameParameters& in, std::span<std::uint8_t, kSpeechFrameBytes> out);

// in: a Sid record (fields within their widths); out: 2 bytes, the last
// bit 0.
void pack_sid_frame(const FrameParameters& in, std::span<std::uint8_t, kSidFrameBytes> out);

// in: `length` bytes at payload (10: speech, 2: SID); out: the record, with
// slot 4 of a speech record holding parity_error. Returns false, reading
// nothing, for any other length.
bool unpack_frame(const std::uint8_t* payload, int length, FrameParameters& out);

}  // namespace g729a
