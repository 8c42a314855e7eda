// The C library against the conformance data: the published sequences
// encoded and decoded through g729a_encode and g729a_decode give the golden
// files bit for bit, and streams with lost and untransmitted frames decode
// as the codec API decodes them. CTest runs this on every vector path
// (G729A_SIMD), which the library picks when it is loaded.
#include <g729a/g729a.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "g729a/codec.h"
#include "itu_serial.h"
#include "support/test_support.h"

namespace {

using testsupport::shared_dir;

std::vector<g729io::SerialFrame> serial_frames(const std::string& path) {
  std::vector<g729io::SerialFrame> frames;
  std::string error;
  EXPECT_TRUE(g729io::parse_serial(testsupport::read_file(path), frames, error)) << error;
  return frames;
}

// What g729a_decode takes for a frame of a serial stream.
int decode_serial_frame(G729ADecoder* dec, const g729io::SerialFrame& f, std::int16_t* out) {
  static const unsigned char nothing = 0;
  switch (f.kind) {
    case g729io::SerialFrameKind::Erased:
      return g729a_decode(dec, nullptr, 10, out);
    case g729io::SerialFrameKind::Untransmitted:
      return g729a_decode(dec, &nothing, 0, out);
    default:
      return g729a_decode(dec, f.bytes.data(), static_cast<int>(f.bytes.size()), out);
  }
}

class LibraryEncoder : public ::testing::TestWithParam<std::string> {};

TEST_P(LibraryEncoder, GivesTheGoldenBitstream) {
  REQUIRE_CONFORMANCE_DATA();
  const std::string name = GetParam();
  const auto pcm = testsupport::read_pcm(shared_dir() + "/testvectors/g729a/" + name + ".IN");
  const auto golden = testsupport::read_file(shared_dir() + "/golden/" + name + ".g729");
  ASSERT_EQ(golden.size(), pcm.size() / 80 * 10);
  int error = 1;
  G729AEncoder* enc = g729a_encoder_create(0, &error);
  ASSERT_NE(enc, nullptr);
  ASSERT_EQ(error, G729A_OK);
  std::vector<std::uint8_t> bytes;
  for (std::size_t f = 0; f + 80 <= pcm.size(); f += 80) {
    unsigned char out[12];
    ASSERT_EQ(g729a_encode(enc, &pcm[f], out, sizeof out), 10);
    bytes.insert(bytes.end(), out, out + 10);
  }
  g729a_encoder_destroy(enc);
  ASSERT_EQ(bytes.size(), golden.size());
  for (std::size_t i = 0; i < golden.size(); i += 10) {
    ASSERT_TRUE(std::equal(&golden[i], &golden[i] + 10, &bytes[i]))
        << name << ": first differing frame " << i / 10;
  }
}

INSTANTIATE_TEST_SUITE_P(Sequences, LibraryEncoder,
                         ::testing::Values("ALGTHM", "FIXED", "LSP", "PITCH", "SPEECH", "TAME"));

class LibraryDecoder : public ::testing::TestWithParam<std::string> {};

TEST_P(LibraryDecoder, GivesTheGoldenOutput) {
  REQUIRE_CONFORMANCE_DATA();
  const std::string name = GetParam();
  const bool annex_b = name == "tstseq5";
  const std::string bitstream =
      shared_dir() + "/testvectors/" + (annex_b ? "g729b/tstseq5.bit" : "g729a/" + name + ".BIT");
  const auto golden = testsupport::read_pcm(shared_dir() + "/golden/" +
                                            (annex_b ? "tstseq5.bit.raw" : name + ".BIT.raw"));
  // Caller memory from malloc, as a C program would place it.
  auto* dec = static_cast<G729ADecoder*>(std::malloc(std::size_t(g729a_decoder_get_size())));
  ASSERT_EQ(g729a_decoder_init(dec), G729A_OK);
  std::vector<std::int16_t> decoded;
  for (const auto& f : serial_frames(bitstream)) {
    std::int16_t out[80];
    ASSERT_EQ(decode_serial_frame(dec, f, out), 80);
    decoded.insert(decoded.end(), out, out + 80);
  }
  std::free(dec);
  ASSERT_EQ(decoded.size(), golden.size());
  for (std::size_t i = 0; i < golden.size(); ++i) {
    ASSERT_EQ(decoded[i], golden[i]) << name << ": frame " << i / 80 << ", sample " << i % 80;
  }
}

INSTANTIATE_TEST_SUITE_P(Sequences, LibraryDecoder,
                         ::testing::Values("ALGTHM", "FIXED", "LSP", "PITCH", "SPEECH", "TAME",
                                           "tstseq5"));

// Lost frames (data == NULL) and DTX gaps (len == 0) reach the decoder's
// concealment and comfort noise exactly as the codec API's own calls do.
class LibraryLoss : public ::testing::TestWithParam<std::string> {};

TEST_P(LibraryLoss, MatchesTheCodecApi) {
  REQUIRE_CONFORMANCE_DATA();
  const auto frames = serial_frames(shared_dir() + "/testvectors/" + GetParam());
  int erased = 0, untransmitted = 0;
  G729ADecoder* dec = g729a_decoder_create(nullptr);
  ASSERT_NE(dec, nullptr);
  g729a::DecoderState api;
  g729a::decoder_init(api);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const auto& f = frames[i];
    std::int16_t mine[80], theirs[80];
    ASSERT_EQ(decode_serial_frame(dec, f, mine), 80);
    if (f.kind == g729io::SerialFrameKind::Erased) {
      ++erased;
      g729a::decoder_decode_erased(api, theirs);
    } else if (f.kind == g729io::SerialFrameKind::Untransmitted) {
      ++untransmitted;
      g729a::decoder_decode_untransmitted(api, theirs);
    } else {
      ASSERT_TRUE(g729a::decoder_decode(api, f.bytes, theirs));
    }
    ASSERT_TRUE(std::equal(mine, mine + 80, theirs)) << GetParam() << ": frame " << i;
  }
  g729a_decoder_destroy(dec);
  EXPECT_GT(erased + untransmitted, 0) << "a stream without losses tests nothing here";
}

INSTANTIATE_TEST_SUITE_P(Sequences, LibraryLoss,
                         ::testing::Values("g729a/ERASURE.BIT", "g729b/tstseq2a.bit",
                                           "g729b/tstseq3a.bit", "g729b/tstseq4a.bit"));

// With G729A_DTX the library sends what the codec API's DTX encoder sends,
// frame for frame (speech, SID or nothing), and its decoder turns SID frames
// and gaps into the codec API decoder's comfort noise.
TEST(LibraryDtx, MatchesTheCodecApiThroughPauses) {
  REQUIRE_CONFORMANCE_DATA();
  const auto pcm = testsupport::read_pcm(shared_dir() + "/testvectors/g729b/tstseq1.bin");
  ASSERT_GE(pcm.size(), 80u * 200);
  int error = -1;
  G729AEncoder* enc = g729a_encoder_create(G729A_DTX, &error);
  ASSERT_EQ(error, G729A_OK);
  G729ADecoder* dec = g729a_decoder_create(nullptr);
  g729a::EncoderState api_enc;
  g729a::encoder_init(api_enc, {.dtx = true});
  g729a::DecoderState api_dec;
  g729a::decoder_init(api_dec);
  int counts[11] = {};
  for (std::size_t f = 0; f + 80 <= pcm.size(); f += 80) {
    unsigned char mine[10];
    std::array<std::uint8_t, 10> theirs{};
    const int n = g729a_encode(enc, &pcm[f], mine, 10);
    const std::size_t m =
        g729a::encoder_encode(api_enc, std::span<const std::int16_t, 80>(&pcm[f], 80), theirs);
    ASSERT_EQ(n, static_cast<int>(m)) << "frame " << f / 80;
    ASSERT_TRUE(n == 10 || n == 2 || n == 0) << n;
    ASSERT_TRUE(std::equal(mine, mine + n, theirs.begin())) << "frame " << f / 80;
    ++counts[n];
    std::int16_t out[80], expected[80];
    ASSERT_EQ(g729a_decode(dec, mine, n, out), 80);
    if (n == 0) {
      g729a::decoder_decode_untransmitted(api_dec, expected);
    } else {
      ASSERT_TRUE(g729a::decoder_decode(api_dec, std::span<const std::uint8_t>(theirs.data(), m),
                                        expected));
    }
    ASSERT_TRUE(std::equal(out, out + 80, expected)) << "frame " << f / 80;
  }
  g729a_encoder_destroy(enc);
  g729a_decoder_destroy(dec);
  // The sequence has pauses: all three kinds occur.
  EXPECT_GT(counts[10], 0);
  EXPECT_GT(counts[2], 0);
  EXPECT_GT(counts[0], 0);
}

}  // namespace
