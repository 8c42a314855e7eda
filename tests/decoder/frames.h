// Frame builders for the decoder tests.
#pragma once

#include <array>
#include <cstdint>

#include "codec/common/frame_format.h"

namespace dectest {

struct SpeechFields {
  int L0 = 0, L1 = 0, L2 = 0, L3 = 0, P1 = 0;
  int P0 = -1;  // -1: the correct parity of P1
  int C1 = 0, S1 = 0, G1 = 0, P2 = 0, C2 = 0, S2 = 0, G2 = 0;
};

inline std::array<std::uint8_t, 10> speech_frame(const SpeechFields& f) {
  g729a::FrameParameters p;
  p.slots = {f.L0 << 7 | f.L1,
             f.L2 << 5 | f.L3,
             f.P1,
             f.P0 < 0 ? g729a::pitch_parity(f.P1) : f.P0,
             f.C1,
             f.S1,
             f.G1,
             f.P2,
             f.C2,
             f.S2,
             f.G2};
  std::array<std::uint8_t, 10> out;
  g729a::pack_speech_frame(p, out);
  return out;
}

inline std::array<std::uint8_t, 2> sid_frame(int sw, int stage1, int stage2, int energy) {
  const int w = sw << 15 | stage1 << 10 | stage2 << 6 | energy << 1;
  return {static_cast<std::uint8_t>(w >> 8), static_cast<std::uint8_t>(w & 0xFF)};
}

// Independent model of the 16-bit generator: unsigned wrap-around.
inline std::int16_t lcg_steps(std::int16_t seed, int steps) {
  std::uint16_t s = static_cast<std::uint16_t>(seed);
  for (int i = 0; i < steps; ++i) s = static_cast<std::uint16_t>(s * 31821u + 13849u);
  return static_cast<std::int16_t>(s);
}

}  // namespace dectest
