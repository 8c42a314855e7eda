// The serial bitstream reader on arbitrary file contents.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "itu_serial.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> copy(data, data + size);
  std::vector<g729io::SerialFrame> frames;
  std::string error;
  if (!g729io::parse_serial(copy, frames, error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  // Each frame takes at least its two header words.
  if (frames.size() > size / 4) std::abort();
  for (const auto& f : frames) {
    const std::size_t expected = f.kind == g729io::SerialFrameKind::Speech ? 10
                                 : f.kind == g729io::SerialFrameKind::Sid  ? 2
                                                                           : 0;
    if (f.bytes.size() != expected) std::abort();
  }
  return 0;
}
