// The C library against the conformance data: the sequences encoded and
// decoded through g729a_encode and g729a_decode give the golden files bit
// for bit, streams with lost and untransmitted frames decode as the codec
// API decodes them, and the G729A_DTX encoder follows the codec API's
// through pauses. CTest runs the Sequences tests on every vector path
// (G729A_SIMD), which the library picks when it is loaded.
#include <g729a/g729a.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "g729a/codec.h"
#include "itu_serial.h"
#include "support/test_support.h"

namespace {

using testsupport::shared_dir;

// The index of the first element where a and b differ, or their size.
template <class T>
std::size_t first_difference(const std::vector<T>& a, const std::vector<T>& b) {
  return std::size_t(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin());
}

class LibraryEncoder : public ::testing::TestWithParam<std::string> {};

TEST_P(LibraryEncoder, GivesTheGoldenBitstream) {
  REQUIRE_CONFORMANCE_DATA();
  const auto pcm = testsupport::read_pcm(shared_dir() + "/testvectors/g729a/" + GetParam() + ".IN");
  const auto golden = testsupport::read_file(shared_dir() + "/golden/" + GetParam() + ".g729");
  G729AEncoder* enc = g729a_encoder_create(0, nullptr);
  std::vector<std::uint8_t> bytes(pcm.size() / 80 * 10);
  for (std::size_t f = 0; f < pcm.size() / 80; ++f) {
    ASSERT_EQ(g729a_encode(enc, &pcm[80 * f], &bytes[10 * f], 10), 10);
  }
  g729a_encoder_destroy(enc);
  ASSERT_EQ(bytes.size(), golden.size());
  EXPECT_EQ(first_difference(bytes, golden), golden.size())
      << "first differing frame " << first_difference(bytes, golden) / 10;
}

INSTANTIATE_TEST_SUITE_P(Sequences, LibraryEncoder,
                         ::testing::Values("ALGTHM", "FIXED", "LSP", "PITCH", "SPEECH", "TAME"));

// Lost frames go in as data NULL, untransmitted ones as len 0. Every stream
// decodes as the codec API's calls decode it, and to its golden output where
// there is one (the streams with losses have none).
class LibraryDecoder : public ::testing::TestWithParam<std::string> {};

TEST_P(LibraryDecoder, GivesTheGoldenOutputAndWhatTheCodecApiGives) {
  REQUIRE_CONFORMANCE_DATA();
  const std::string name = GetParam();
  std::vector<g729io::SerialFrame> frames;
  std::string error;
  ASSERT_TRUE(g729io::parse_serial(testsupport::read_file(shared_dir() + "/testvectors/" + name),
                                   frames, error))
      << error;
  G729ADecoder* dec = g729a_decoder_create(nullptr);
  g729a::DecoderState api;
  g729a::decoder_init(api);
  std::vector<std::int16_t> decoded;
  int losses = 0;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const auto& f = frames[i];
    std::int16_t mine[80], theirs[80];
    if (f.kind == g729io::SerialFrameKind::Erased) {
      ASSERT_EQ(g729a_decode(dec, nullptr, 10, mine), 80);
      g729a::decoder_decode_erased(api, theirs);
    } else if (f.kind == g729io::SerialFrameKind::Untransmitted) {
      const unsigned char nothing = 0;
      ASSERT_EQ(g729a_decode(dec, &nothing, 0, mine), 80);
      g729a::decoder_decode_untransmitted(api, theirs);
    } else {
      ASSERT_EQ(g729a_decode(dec, f.bytes.data(), int(f.bytes.size()), mine), 80);
      ASSERT_TRUE(g729a::decoder_decode(api, f.bytes, theirs));
    }
    losses += f.bytes.empty();
    ASSERT_TRUE(std::equal(mine, mine + 80, theirs)) << name << ": frame " << i;
    decoded.insert(decoded.end(), mine, mine + 80);
  }
  g729a_decoder_destroy(dec);
  const std::string golden = shared_dir() + "/golden/" + name.substr(name.find('/') + 1) + ".raw";
  if (!std::filesystem::exists(golden)) {
    EXPECT_GT(losses, 0) << "a stream without losses or golden output tests nothing here";
    return;
  }
  const auto expected = testsupport::read_pcm(golden);
  ASSERT_EQ(decoded.size(), expected.size());
  const std::size_t at = first_difference(decoded, expected);
  EXPECT_EQ(at, expected.size()) << "frame " << at / 80 << ", sample " << at % 80;
}

INSTANTIATE_TEST_SUITE_P(Sequences, LibraryDecoder,
                         ::testing::Values("g729a/ALGTHM.BIT", "g729a/FIXED.BIT", "g729a/LSP.BIT",
                                           "g729a/PITCH.BIT", "g729a/SPEECH.BIT", "g729a/TAME.BIT",
                                           "g729b/tstseq5.bit", "g729a/ERASURE.BIT",
                                           "g729b/tstseq2a.bit", "g729b/tstseq3a.bit",
                                           "g729b/tstseq4a.bit"));

// With G729A_DTX the library sends what the codec API's DTX encoder sends,
// frame for frame: speech, SID or nothing. (The decoder's side of pauses is
// checked on the tstseq*a streams above.)
TEST(LibraryDtx, MatchesTheCodecApiThroughPauses) {
  REQUIRE_CONFORMANCE_DATA();
  const auto pcm = testsupport::read_pcm(shared_dir() + "/testvectors/g729b/tstseq1.bin");
  int error = -1;
  G729AEncoder* enc = g729a_encoder_create(G729A_DTX, &error);
  ASSERT_EQ(error, G729A_OK);
  g729a::EncoderState api;
  g729a::encoder_init(api, {.dtx = true});
  int counts[11] = {};
  for (std::size_t f = 0; f + 80 <= pcm.size(); f += 80) {
    unsigned char mine[10];
    std::array<std::uint8_t, 10> theirs{};
    const int n = g729a_encode(enc, &pcm[f], mine, 10);
    const std::size_t m =
        g729a::encoder_encode(api, std::span<const std::int16_t, 80>(&pcm[f], 80), theirs);
    ASSERT_EQ(n, int(m)) << "frame " << f / 80;
    ASSERT_TRUE(std::equal(mine, mine + n, theirs.begin())) << "frame " << f / 80;
    ++counts[n];
  }
  g729a_encoder_destroy(enc);
  EXPECT_TRUE(counts[10] > 0 && counts[2] > 0 && counts[0] > 0);  // the sequence has pauses
}

}  // namespace
