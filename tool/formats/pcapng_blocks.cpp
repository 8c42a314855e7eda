#include "pcapng_blocks.h"

namespace g729io {
namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::uint32_t kSectionHeader = 0x0A0D0D0A;
constexpr std::uint32_t kByteOrderMagic = 0x1A2B3C4D;
constexpr std::uint32_t kInterfaceDescription = 1;
constexpr std::uint32_t kObsoletePacket = 2;
constexpr std::uint32_t kSimplePacket = 3;
constexpr std::uint32_t kEnhancedPacket = 6;

struct Interface {
  int link_type = 0;
  std::uint32_t snap_length = 0;  // 0: no limit
};

class Reader {
 public:
  Reader(Bytes bytes, bool big_endian) : bytes_(bytes), big_(big_endian) {}
  std::uint32_t u32(std::size_t at) const {
    const std::uint32_t b0 = bytes_[at], b1 = bytes_[at + 1], b2 = bytes_[at + 2],
                        b3 = bytes_[at + 3];
    return big_ ? (b0 << 24) | (b1 << 16) | (b2 << 8) | b3
                : (b3 << 24) | (b2 << 16) | (b1 << 8) | b0;
  }
  std::uint16_t u16(std::size_t at) const {
    return static_cast<std::uint16_t>(big_ ? (bytes_[at] << 8) | bytes_[at + 1]
                                           : (bytes_[at + 1] << 8) | bytes_[at]);
  }

 private:
  Bytes bytes_;
  bool big_;
};

}  // namespace

bool read_pcapng(Bytes file, std::vector<PcapngPacket>& packets, std::vector<int>& link_types,
                 std::string& error) {
  std::vector<Interface> interfaces;
  bool big = false;
  std::size_t pos = 0;
  long block_number = 0;
  auto fail = [&](const std::string& reason) {
    error = "pcapng block " + std::to_string(block_number) + " at byte " + std::to_string(pos) +
            ": " + reason;
    return false;
  };
  while (pos < file.size()) {
    ++block_number;
    if (file.size() - pos < 12) return fail("the file ends inside a block header");
    if (Reader(file, false).u32(pos) == kSectionHeader) {
      // The section's byte order is known only from its own header.
      if (file.size() - pos < 28) return fail("the file ends inside a section header");
      const std::uint32_t magic = Reader(file, false).u32(pos + 8);
      if (magic == kByteOrderMagic) {
        big = false;
      } else if (Reader(file, true).u32(pos + 8) == kByteOrderMagic) {
        big = true;
      } else {
        return fail("section header without the byte-order magic");
      }
      interfaces.clear();
    } else if (block_number == 1) {
      return fail("not a pcapng file");
    }
    const Reader r(file, big);
    const std::uint32_t type = r.u32(pos);
    const std::size_t length = r.u32(pos + 4);
    if (length < 12 || length % 4 != 0 || length > file.size() - pos) {
      return fail("block length " + std::to_string(length) + " does not fit the file");
    }
    if (r.u32(pos + length - 4) != length) return fail("block lengths disagree");
    const Bytes body = file.subspan(pos + 8, length - 12);
    if (type == kSectionHeader && body.size() < 16) return fail("section header too short");
    if (type == kInterfaceDescription) {
      if (body.size() < 8) return fail("interface description too short");
      interfaces.push_back({r.u16(pos + 8), r.u32(pos + 12)});
      link_types.push_back(interfaces.back().link_type);
    } else if (type == kEnhancedPacket || type == kObsoletePacket || type == kSimplePacket) {
      std::size_t interface = 0, captured = 0, header = 0;
      if (type == kSimplePacket) {
        header = 4;
        if (body.size() < header) return fail("packet block too short");
        captured = std::min<std::size_t>(r.u32(pos + 8), body.size() - header);
        if (!interfaces.empty() && interfaces[0].snap_length != 0) {
          captured = std::min<std::size_t>(captured, interfaces[0].snap_length);
        }
      } else {
        header = 20;
        if (body.size() < header) return fail("packet block too short");
        interface = type == kEnhancedPacket ? r.u32(pos + 8) : r.u16(pos + 8);
        captured = r.u32(pos + 20);
        if (captured > body.size() - header) {
          return fail("captured length " + std::to_string(captured) + " exceeds its block");
        }
      }
      if (interface >= interfaces.size()) {
        return fail("packet on interface " + std::to_string(interface) +
                    ", which is not described");
      }
      packets.push_back({interfaces[interface].link_type, body.subspan(header, captured)});
    }
    pos += length;
  }
  return true;
}

}  // namespace g729io
