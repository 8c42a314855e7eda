// The ITU serial bitstream format of the published conformance sequences:
// per frame a sync word, a length word N and N words of one bit each.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace g729io {

enum class SerialFrameKind { Speech, Sid, Untransmitted, Erased };

struct SerialFrame {
  SerialFrameKind kind = SerialFrameKind::Erased;
  std::vector<std::uint8_t> bytes;  // 10 for speech, 2 for SID, empty otherwise
};

inline constexpr std::uint16_t kSyncGood = 0x6B21;
inline constexpr std::uint16_t kBitZero = 0x007F;
inline constexpr std::uint16_t kBitOne = 0x0081;

// Parses a whole file's content. Returns false and sets `error` when the
// data ends inside a frame, a length word is impossible or a sync word
// is not one of the format's (0x6B00..0x6BFF).
bool parse_serial(std::span<const std::uint8_t> data, std::vector<SerialFrame>& frames,
                  std::string& error);

// Appends one speech (10 bytes) or SID (2 bytes) frame in serial form; an
// empty span writes a frame that carried nothing.
void append_serial_frame(std::span<const std::uint8_t> frame, std::vector<std::uint8_t>& out);

}  // namespace g729io
