// The module boundary: host frames whose counts may disagree with their
// data, and instances whose sample_count a faulty host corrupted, driven
// through the loaded module as the switch would.
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
  // Bit 1 of data[2]: the instance's count is replaced for this call by one
  // outside the buffer, from data[3] (-8192 .. -1 or 8001 .. 2^31-1); the
  // module must refuse it. The host's own collection trusts the count, so it
  // is put back before the host collects.
  const bool corrupt = data[2] & 2;
  const int count = data[3] & 0x80    ? -1 - (data[3] & 0x7F) * 64
                    : data[3] == 0x7F ? 2147483647
                                      : 8001 + data[3] * 64;
  standin::Channel& channel = to_encoder ? encoder : decoder;
  TranslatorInstance* pvt = channel.instance();
  const int saved = pvt->sample_count;
  if (corrupt) pvt->sample_count = count;
  if (to_encoder) {
    frame.format = SLINEAR;
    frame.samples = (data[2] & 1) ? claimed_samples : static_cast<int>(length / 2);
    const int result = channel.framein(frame);
    if (corrupt && result != -1) std::abort();
    if (pvt->sample_count < 0 || pvt->sample_count > 8000) pvt->sample_count = saved;
    while (channel.frameout() != nullptr) {
    }
  } else {
    frame.format = G729A;
    frame.samples = 0;
    const int result = channel.framein(frame);
    if (corrupt && result != -1) std::abort();
    if (pvt->sample_count < 0 || pvt->sample_count > 8000) pvt->sample_count = saved;
    pvt->byte_count = 2 * pvt->sample_count;
    while (channel.frameout() != nullptr) {
    }
  }
  standin::take_log();
  return 0;
}
