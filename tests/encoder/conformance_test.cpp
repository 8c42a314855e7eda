// The six golden bitstreams, frame for frame: first through encode_frame
// directly (with the golden traces to name the first value that departs),
// then through the loaded module in regular and irregular host frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "conformance_support.h"
#include "standin.h"
#include "support/test_support.h"

namespace {

class GoldenTest : public ::testing::TestWithParam<std::string> {};

// The index of the first differing frame, or -1.
int first_differing_frame(const std::vector<std::uint8_t>& mine,
                          const std::vector<std::uint8_t>& golden) {
  const std::size_t n = std::min(mine.size(), golden.size()) / 10;
  for (std::size_t f = 0; f < n; ++f) {
    if (!std::equal(mine.begin() + 10 * f, mine.begin() + 10 * f + 10, golden.begin() + 10 * f)) {
      return static_cast<int>(f);
    }
  }
  return mine.size() == golden.size() ? -1 : static_cast<int>(n);
}

TEST_P(GoldenTest, DirectEncodingMatchesTraceAndBitstream) {
  REQUIRE_CONFORMANCE_DATA();
  const std::string name = GetParam();
  const auto pcm = testsupport::read_pcm(encconf::input_path(name));
  const auto golden = testsupport::read_file(encconf::golden_path(name));
  const auto trace = encconf::read_trace(encconf::trace_path(name));
  ASSERT_FALSE(pcm.empty());
  ASSERT_EQ(golden.size(), pcm.size() / 80 * 10) << "one golden frame per whole input frame";

  std::string departure;
  int departure_frame = -1;
  const auto bytes =
      encconf::encode_direct(pcm, [&](int f, const g729a::FrameParameters& params,
                                      const g729a::FrameTrace& mine, const g729a::EncoderState&) {
        if (departure_frame >= 0 || f >= static_cast<int>(trace.size())) return;
        ASSERT_EQ(trace[f].frame, f);
        departure = encconf::first_departure(trace[f], params, mine);
        if (!departure.empty()) departure_frame = f;
      });
  EXPECT_EQ(departure_frame, -1) << name << " frame " << departure_frame << ": " << departure;
  const int frame = first_differing_frame(bytes, golden);
  EXPECT_EQ(frame, -1) << name << ": first differing frame " << frame;
}

// Feeds the whole input in pieces of `piece` samples, with a frameout after
// each, and collects every frame the translator hands back.
std::vector<std::uint8_t> encode_through_module(const std::vector<std::int16_t>& pcm,
                                                std::size_t piece) {
  standin::Channel channel(testsupport::encoder_translator());
  std::vector<std::uint8_t> bytes;
  for (std::size_t at = 0; at < pcm.size(); at += piece) {
    const std::size_t n = std::min(piece, pcm.size() - at);
    std::vector<std::uint8_t> out;
    EXPECT_EQ(channel.feed_pcm(std::span<const std::int16_t>(pcm.data() + at, n), out), 0);
    bytes.insert(bytes.end(), out.begin(), out.end());
  }
  // The trailing partial frame stays buffered.
  EXPECT_EQ(channel.instance()->sample_count, static_cast<int>(pcm.size() % 80));
  return bytes;
}

TEST_P(GoldenTest, ModuleMatchesInEveryHostFrameSize) {
  REQUIRE_CONFORMANCE_DATA();
  const std::string name = GetParam();
  const auto pcm = testsupport::read_pcm(encconf::input_path(name));
  const auto golden = testsupport::read_file(encconf::golden_path(name));
  for (std::size_t piece : {160u, 1u, 7u, 79u, 333u, 7920u}) {
    const auto bytes = encode_through_module(pcm, piece);
    const int frame = first_differing_frame(bytes, golden);
    EXPECT_EQ(frame, -1) << name << " in pieces of " << piece << ": first differing frame "
                         << frame;
  }
}

INSTANTIATE_TEST_SUITE_P(Sequences, GoldenTest, ::testing::ValuesIn(encconf::kGoldenNames),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

}  // namespace
