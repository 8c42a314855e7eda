// A minimal pcapng reader for what libpcap refuses: one file whose
// interfaces have different link types. Gives every captured packet with
// the link type of its own interface.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace g729io {

struct PcapngPacket {
  int link_type = 0;
  std::span<const std::uint8_t> data;  // points into the file's bytes
};

// in: file (the whole capture); out: packets, link_types (one per interface
// seen, in order, over all sections). False with `error` set when the
// blocks do not fit together; the packets before the damage are kept.
bool read_pcapng(std::span<const std::uint8_t> file, std::vector<PcapngPacket>& packets,
                 std::vector<int>& link_types, std::string& error);

}  // namespace g729io
