// Helpers shared by the test programs: the conformance data, PCM
// files, signal-to-noise figures and the module loaded through the switch
// stand-in.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "measures.h"
#include "standin.h"

namespace testsupport {

// The conformance data (tests/data: tables, test vectors, golden outputs).
std::string shared_dir();
bool shared_available();

std::vector<std::uint8_t> read_file(const std::string& path);
std::vector<std::int16_t> read_pcm(const std::string& path);  // 16-bit little-endian

// The tool's quality figures, with the delay defaulting to none.
inline double snr_db(const std::vector<std::int16_t>& ref, const std::vector<std::int16_t>& test,
                     int delay = 0) {
  return g729tool::snr_db(ref, test, delay);
}
inline double segmental_snr_db(const std::vector<std::int16_t>& ref,
                               const std::vector<std::int16_t>& test, int delay = 0) {
  return g729tool::segmental_snr_db(ref, test, delay);
}

// The codec module, opened once per test program through the stand-in and
// kept loaded until the program ends.
standin::Module& module();
TranslatorDescriptor* encoder_translator();  // lintog729
TranslatorDescriptor* decoder_translator();  // g729tolin

}  // namespace testsupport

// Missing data fails the test: a check that cannot run must not pass.
#define REQUIRE_CONFORMANCE_DATA()                                                  \
  do {                                                                              \
    if (!testsupport::shared_available())                                           \
      GTEST_FAIL() << "conformance data not found at " << testsupport::shared_dir() \
                   << " (see tests/data/README.md)";                                \
  } while (0)
