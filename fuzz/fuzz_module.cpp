// The module boundary: host frames whose counts may disagree with their
// data, driven through the loaded module as the switch would.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "standin.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::unique_ptr<standin::Module> module = [] {
    standin::set_log_sink({});
    std::string error;
    auto m = standin::Module::open(standin::default_module_path(), error);
    if (!m) std::abort();
    return m;
  }();
  static standin::Channel encoder(standin::find_translator("lintog729"));
  static standin::Channel decoder(standin::find_translator("g729tolin"));
  if (size < 4) return 0;
  const bool to_encoder = data[0] & 1;
  const int claimed_samples = static_cast<std::int8_t>(data[1]) * 64;
  const std::size_t length = size - 4;
  // A private copy so that any read past data_length is caught.
  std::vector<std::uint8_t> payload(data + 4, data + size);
  HostFrame frame{};
  frame.frame_type = CVN_FRAME_VOICE;
  frame.data_length = static_cast<int>(length);
  frame.payload = length ? payload.data() : nullptr;
  frame.source = "fuzz";
  if (to_encoder) {
    frame.format = SLINEAR;
    frame.samples = (data[2] & 1) ? claimed_samples : static_cast<int>(length / 2);
    encoder.framein(frame);
    while (encoder.frameout() != nullptr) {
    }
  } else {
    frame.format = G729A;
    frame.samples = 0;
    decoder.framein(frame);
    while (decoder.frameout() != nullptr) {
    }
  }
  standin::take_log();
  return 0;
}
