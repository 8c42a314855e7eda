// Helpers shared by the test programs: the shared conformance data, PCM
// files, signal-to-noise figures and the module loaded through the switch
// stand-in.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "standin.h"

namespace testsupport {

// ../shared next to the source tree (tables, test vectors, golden outputs).
std::string shared_dir();
bool shared_available();

std::vector<std::uint8_t> read_file(const std::string& path);
std::vector<std::int16_t> read_pcm(const std::string& path);  // 16-bit little-endian

// 10 log10(sum ref^2 / sum (ref - test)^2), test delayed by `delay` samples.
double snr_db(const std::vector<std::int16_t>& ref, const std::vector<std::int16_t>& test,
              int delay = 0);
// Mean over 80-sample frames of the per-frame SNR, each clamped to -10..80 dB;
// frames whose reference energy is below 1000 are left out.
double segmental_snr_db(const std::vector<std::int16_t>& ref,
                        const std::vector<std::int16_t>& test, int delay = 0);

// The codec module, opened once per test program through the stand-in and
// kept loaded until the program ends.
standin::Module& module();
TranslatorDescriptor* encoder_translator();  // lintog729
TranslatorDescriptor* decoder_translator();  // g729tolin

}  // namespace testsupport

#define SKIP_WITHOUT_SHARED()                                                      \
  do {                                                                             \
    if (!testsupport::shared_available())                                          \
      GTEST_SKIP() << "shared test data not found at " << testsupport::shared_dir() \
                   << "; conformance checks skipped";                              \
  } while (0)
