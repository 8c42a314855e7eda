#include "itu_serial.h"

namespace g729io {
namespace {

std::uint16_t word_at(std::span<const std::uint8_t> data, std::size_t index) {
  return static_cast<std::uint16_t>(data[2 * index] | (data[2 * index + 1] << 8));
}

void put_word(std::uint16_t w, std::vector<std::uint8_t>& out) {
  out.push_back(static_cast<std::uint8_t>(w & 0xFF));
  out.push_back(static_cast<std::uint8_t>(w >> 8));
}

std::string hex_word(std::uint16_t w) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "0x";
  for (int shift = 12; shift >= 0; shift -= 4) text += kDigits[(w >> shift) & 0xF];
  return text;
}

}  // namespace

bool parse_serial(std::span<const std::uint8_t> data, std::vector<SerialFrame>& frames,
                  std::string& error) {
  if (data.size() % 2 != 0) {
    error = "odd number of bytes, not a serial bitstream";
    return false;
  }
  const std::size_t words = data.size() / 2;
  std::size_t pos = 0;
  while (pos < words) {
    if (pos + 2 > words) {
      error = "bitstream ends inside a frame header";
      return false;
    }
    const std::uint16_t sync = word_at(data, pos);
    const std::uint16_t length = word_at(data, pos + 1);
    pos += 2;
    // Good frames carry 0x6B21 and erased ones a neighbour; anything else
    // means the file is not in this format at all.
    if ((sync >> 8) != (kSyncGood >> 8)) {
      error = "frame " + std::to_string(frames.size() + 1) + " has sync word " + hex_word(sync) +
              ", not a serial bitstream";
      return false;
    }
    if (length > 80) {
      error = "frame length word " + std::to_string(length) + " is larger than 80";
      return false;
    }
    if (pos + length > words) {
      error = "bitstream ends inside a frame";
      return false;
    }
    SerialFrame frame;
    bool bits_ok = sync == kSyncGood;
    std::vector<std::uint8_t> bytes((length + 7) / 8, 0);
    for (std::size_t i = 0; i < length; ++i) {
      const std::uint16_t w = word_at(data, pos + i);
      if (w == kBitOne) {
        bytes[i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
      } else if (w != kBitZero) {
        bits_ok = false;
      }
    }
    pos += length;
    if (!bits_ok) {
      frame.kind = SerialFrameKind::Erased;
    } else if (length == 0) {
      frame.kind = SerialFrameKind::Untransmitted;
    } else if (length == 80) {
      frame.kind = SerialFrameKind::Speech;
      frame.bytes = std::move(bytes);
    } else if (length == 15 || length == 16) {
      frame.kind = SerialFrameKind::Sid;
      frame.bytes = std::move(bytes);
    } else {
      frame.kind = SerialFrameKind::Erased;
    }
    frames.push_back(std::move(frame));
  }
  return true;
}

void append_serial_frame(std::span<const std::uint8_t> frame, std::vector<std::uint8_t>& out) {
  put_word(kSyncGood, out);
  const std::size_t bits = frame.size() == 2 ? 16 : frame.size() * 8;
  put_word(static_cast<std::uint16_t>(bits), out);
  for (std::size_t i = 0; i < bits; ++i) {
    const bool one = (frame[i / 8] >> (7 - i % 8)) & 1;
    put_word(one ? kBitOne : kBitZero, out);
  }
}

}  // namespace g729io
