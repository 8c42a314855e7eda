#include "codec/common/frame_format.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>

namespace {

using g729a::FrameKind;
using g729a::FrameParameters;

// Field widths of a speech frame in transmission order, with the slot each
// field comes from and the shift inside that slot.
struct Field {
  int slot;
  int shift;
  int width;
};
constexpr std::array<Field, 15> kSpeechFields = {{
    {0, 7, 1},
    {0, 0, 7},
    {1, 5, 5},
    {1, 0, 5},
    {2, 0, 8},
    {3, 0, 1},
    {4, 0, 13},
    {5, 0, 4},
    {6, 4, 3},
    {6, 0, 4},
    {7, 0, 5},
    {8, 0, 13},
    {9, 0, 4},
    {10, 4, 3},
    {10, 0, 4},
}};
constexpr std::array<int, 11> kSlotWidths = {8, 10, 8, 1, 13, 4, 7, 5, 13, 4, 7};

// Writes the fields one bit at a time, most significant first: an
// independent model of the frame layout.
std::array<std::uint8_t, 10> reference_pack(const FrameParameters& p) {
  std::array<std::uint8_t, 10> out{};
  int bit = 0;
  for (const Field& f : kSpeechFields) {
    const std::uint32_t value = (static_cast<std::uint32_t>(p.slots[f.slot]) >> f.shift);
    for (int b = f.width - 1; b >= 0; --b, ++bit) {
      if ((value >> b) & 1) out[bit / 8] |= static_cast<std::uint8_t>(0x80 >> (bit % 8));
    }
  }
  EXPECT_EQ(bit, 80);
  return out;
}

FrameParameters random_record(std::mt19937& rng) {
  FrameParameters p;
  for (int i = 0; i < 11; ++i) {
    p.slots[i] = static_cast<std::int32_t>(rng() & ((1u << kSlotWidths[i]) - 1));
  }
  p.slots[g729a::kSlotP0] = g729a::pitch_parity(p.slots[g729a::kSlotP1]);
  return p;
}

std::array<std::uint8_t, 10> pack(const FrameParameters& p) {
  std::array<std::uint8_t, 10> out{};
  g729a::pack_speech_frame(p, out);
  return out;
}

TEST(FrameFormat, EverySlotAtItsMaximumPacksToAllOnes) {
  FrameParameters p;
  for (int i = 0; i < 11; ++i) p.slots[i] = (1 << kSlotWidths[i]) - 1;
  for (std::uint8_t byte : pack(p)) EXPECT_EQ(byte, 0xFF);
}

TEST(FrameFormat, PackingFollowsTheBitLayoutAndUnpackingInvertsIt) {
  std::mt19937 rng(729);
  for (int trial = 0; trial < 2000; ++trial) {
    const FrameParameters p = random_record(rng);
    const auto bytes = pack(p);
    ASSERT_EQ(bytes, reference_pack(p));
    FrameParameters q;
    ASSERT_TRUE(g729a::unpack_frame(bytes.data(), 10, q));
    EXPECT_EQ(q.kind, FrameKind::Speech);
    for (int i = 0; i < 11; ++i) {
      if (i == g729a::kSlotP0) {
        EXPECT_EQ(q.slots[i], 0) << "parity_error of a packed frame";
      } else {
        EXPECT_EQ(q.slots[i], p.slots[i]) << "slot " << i + 1;
      }
    }
  }
}

TEST(FrameFormat, OutOfRangeSlotsDoNotSpillIntoNeighbours) {
  FrameParameters p;
  p.slots[g729a::kSlotP1] = 0x1FF;  // one bit too wide
  const auto bytes = pack(p);
  FrameParameters q;
  ASSERT_TRUE(g729a::unpack_frame(bytes.data(), 10, q));
  EXPECT_EQ(q.slots[g729a::kSlotL2L3], 0);
  EXPECT_EQ(q.slots[g729a::kSlotP1], 0xFF);
}

int parity_error_after_flipping(int bit) {
  std::mt19937 rng(11);
  const FrameParameters p = random_record(rng);
  auto bytes = pack(p);
  bytes[bit / 8] ^= static_cast<std::uint8_t>(0x80 >> (bit % 8));
  FrameParameters q;
  EXPECT_TRUE(g729a::unpack_frame(bytes.data(), 10, q));
  return q.slots[g729a::kSlotP0];
}

TEST(FrameFormat, ParityCoversTheSixHighBitsOfP1AndP0) {
  EXPECT_EQ(parity_error_after_flipping(26), 1);  // P0
  EXPECT_EQ(parity_error_after_flipping(18), 1);  // bit 7 of P1
  EXPECT_EQ(parity_error_after_flipping(19), 1);  // bit 6 of P1
  EXPECT_EQ(parity_error_after_flipping(24), 0);  // bit 1 of P1
  EXPECT_EQ(parity_error_after_flipping(25), 0);  // bit 0 of P1
}

TEST(FrameFormat, PitchParityValues) {
  EXPECT_EQ(g729a::pitch_parity(170), 0);  // bits 7..2 hold three ones
  EXPECT_EQ(g729a::pitch_parity(0), 1);
  EXPECT_EQ(g729a::pitch_parity(3), 1);  // bits 0 and 1 do not count
  EXPECT_EQ(g729a::pitch_parity(4), 0);
  EXPECT_EQ(g729a::pitch_parity(255), 1);
}

TEST(FrameFormat, SidFields) {
  FrameParameters q;
  const std::uint8_t a[2] = {0x80, 0x00};
  ASSERT_TRUE(g729a::unpack_frame(a, 2, q));
  EXPECT_EQ(q.kind, FrameKind::Sid);
  EXPECT_EQ(q.slots[g729a::kSlotSidSwitch], 1);
  EXPECT_EQ(q.slots[g729a::kSlotSidStage1], 0);
  EXPECT_EQ(q.slots[g729a::kSlotSidStage2], 0);
  EXPECT_EQ(q.slots[g729a::kSlotSidEnergy], 0);

  const std::uint8_t b[2] = {0x00, 0x3E};
  ASSERT_TRUE(g729a::unpack_frame(b, 2, q));
  EXPECT_EQ(q.slots[g729a::kSlotSidSwitch], 0);
  EXPECT_EQ(q.slots[g729a::kSlotSidEnergy], 31);

  // 0 11111 0000 10101 1 -> stage1 31, stage2 0, energy 21; last bit ignored
  const std::uint8_t c[2] = {0x7C, 0x2B};
  const std::uint8_t d[2] = {0x7C, 0x2A};
  FrameParameters qc, qd;
  ASSERT_TRUE(g729a::unpack_frame(c, 2, qc));
  ASSERT_TRUE(g729a::unpack_frame(d, 2, qd));
  EXPECT_EQ(qc.slots, qd.slots);
  EXPECT_EQ(qc.slots[g729a::kSlotSidStage1], 31);
  EXPECT_EQ(qc.slots[g729a::kSlotSidStage2], 0);
  EXPECT_EQ(qc.slots[g729a::kSlotSidEnergy], 21);
}

TEST(FrameFormat, OtherLengthsAreNotUnpacked) {
  const std::uint8_t bytes[16] = {};
  for (int length : {-1, 0, 1, 3, 9, 11, 12, 16}) {
    FrameParameters q;
    q.slots.fill(-7);
    EXPECT_FALSE(g729a::unpack_frame(bytes, length, q)) << length;
    EXPECT_EQ(q.slots[0], -7);
  }
}

}  // namespace
