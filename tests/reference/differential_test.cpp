// The fast codec against the reference codec on every vector path: every
// conformance sequence and encoder input, long random streams, a runaway and
// random audio, outputs and whole states compared after every frame. A
// failure names the path, the first frame and the first field that differs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "codec/common/frame_format.h"
#include "codec/reference/lockstep.h"
#include "g729a/codec.h"
#include "itu_serial.h"
#include "support/simd_paths.h"
#include "support/test_support.h"

namespace {

using g729a::DecoderInput;
using Frame = g729io::SerialFrame;  // the decoder's input: bytes, lost or untransmitted
using Kind = g729io::SerialFrameKind;

// Both decoders from their initial state through the frames on the path in
// effect. Returns "" or the first difference with its frame.
std::string decode_both(const std::vector<Frame>& frames) {
  g729a::DecoderState reference, fast;
  g729a::decoder_init(reference);
  g729a::decoder_init(fast);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const auto& f = frames[i];
    const auto input = f.kind == Kind::Erased          ? DecoderInput::Erased
                       : f.kind == Kind::Untransmitted ? DecoderInput::Untransmitted
                                                       : DecoderInput::Received;
    const std::string d = g729a::decode_in_lockstep(reference, fast, input, f.bytes);
    if (!d.empty()) {
      return "frame " + std::to_string(i) + " (input " + std::to_string(int(input)) + ", " +
             std::to_string(f.bytes.size()) + " bytes): " + d;
    }
  }
  return "";
}

// Both encoders through every whole frame of pcm.
std::string encode_both(const std::vector<std::int16_t>& pcm) {
  g729a::EncoderState reference, fast;
  g729a::encoder_init(reference);
  g729a::encoder_init(fast);
  for (std::size_t i = 0; i + 80 <= pcm.size(); i += 80) {
    const std::string d = g729a::encode_in_lockstep(
        reference, fast, std::span<const std::int16_t, 80>(pcm.data() + i, 80));
    if (!d.empty()) return "frame " + std::to_string(i / 80) + ": " + d;
  }
  return "";
}

// run(input) on every vector path the machine offers.
template <class Input, class Run>
void expect_agreement_on_every_path(const Input& input, Run run, const char* what) {
  for (auto path : {g729a::SimdPath::Scalar, g729a::SimdPath::Sse2, g729a::SimdPath::Avx2}) {
    testsupport::ForcedPath forced(path);
    if (forced.active() != path) continue;
    EXPECT_EQ(run(input), "") << what << " on the " << g729a::simd_path_name(path) << " path";
  }
}

// Every sequence (.BIT, .bit) through the decoders, every input (.IN,
// .bin) through the encoders.
TEST(Differential, EveryConformanceSequenceAndInput) {
  REQUIRE_CONFORMANCE_DATA();
  int sequences = 0, inputs = 0;
  for (const auto& file :
       std::filesystem::recursive_directory_iterator(testsupport::shared_dir() + "/testvectors")) {
    const std::string path = file.path().string(), type = file.path().extension().string();
    if (type == ".BIT" || type == ".bit") {
      std::vector<Frame> frames;
      std::string error;
      ASSERT_TRUE(g729io::parse_serial(testsupport::read_file(path), frames, error)) << path;
      expect_agreement_on_every_path(frames, decode_both, path.c_str());
      ++sequences;
    } else if (type == ".IN" || type == ".bin") {
      expect_agreement_on_every_path(testsupport::read_pcm(path), encode_both, path.c_str());
      ++inputs;
    }
  }
  EXPECT_EQ(sequences, 16);
  EXPECT_EQ(inputs, 11);
}

std::vector<std::uint8_t> random_bytes(std::mt19937& gen, std::size_t n) {
  std::vector<std::uint8_t> out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(gen());
  return out;
}

// A speech frame whose gain indices give the largest adaptive gain the
// codebooks hold: some thousand of them at one delay overflow the state.
const std::uint8_t kClimb[10] = {0x00, 0x00, 0x00, 0x60, 0x00, 0xF0, 0xA5, 0x00, 0x07, 0x85};

// Random fields with kClimb's gains at delay p1.
std::vector<std::uint8_t> hostile_frame(std::mt19937& gen, int p1) {
  g729a::FrameParameters climb, p;
  g729a::unpack_frame(kClimb, 10, climb);
  g729a::unpack_frame(random_bytes(gen, 10).data(), 10, p);
  p.slots[g729a::kSlotP1] = p1;
  p.slots[g729a::kSlotP0] = g729a::pitch_parity(p1);
  p.slots[g729a::kSlotGain1] = climb.slots[g729a::kSlotGain1];
  p.slots[g729a::kSlotGain2] = climb.slots[g729a::kSlotGain2];
  std::vector<std::uint8_t> out(10);
  g729a::pack_speech_frame(p, std::span<std::uint8_t, 10>(out.data(), 10));
  return out;
}

// Runs of random speech, hostile speech, SID, erased and untransmitted
// frames and the odd invalid length.
std::vector<Frame> random_stream(unsigned seed, int frames) {
  std::mt19937 gen(seed);
  std::vector<Frame> events;
  while (static_cast<int>(events.size()) < frames) {
    const int kind = static_cast<int>(gen() % 100);
    const int run = 1 + static_cast<int>(gen() % 24);
    const int p1 = static_cast<int>(gen() % 256);
    for (int r = 0; r < run; ++r) {
      const std::size_t invalid_lengths[] = {0, 1, 3, 9, 11, 20};
      if (kind < 45 || kind >= 97) {
        events.push_back(
            {Kind::Speech, random_bytes(gen, kind < 45 ? 10 : invalid_lengths[gen() % 6])});
      } else if (kind < 60) {
        events.push_back({Kind::Speech, hostile_frame(gen, p1)});
      } else if (kind < 75) {
        events.push_back({Kind::Sid, random_bytes(gen, 2)});
      } else {
        events.push_back({kind < 85 ? Kind::Erased : Kind::Untransmitted, {}});
      }
    }
  }
  return events;
}

TEST(Differential, DecoderOnLongRandomStreams) {
  for (unsigned seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE(seed);
    expect_agreement_on_every_path(random_stream(seed, 20000), decode_both, "random stream");
  }
}

// Frames of kClimb overflow the state, so the channel restarts; then speech
// and comfort noise go on.
TEST(Differential, DecoderThroughARunawayAndItsRestart) {
  // The stream does restart the channel (its excitation all zero again after
  // a huge one) within its 2000 frames.
  g729a::DecoderState state;
  g729a::decoder_init(state);
  double largest = 0.0;
  bool restarted = false;
  for (int i = 0; i < 2000 && !restarted; ++i) {
    std::int16_t pcm[80];
    ASSERT_TRUE(g729a::decoder_decode(state, std::span<const std::uint8_t>(kClimb, 10), pcm));
    const auto& x = state.excitation_buffer;
    restarted = largest > 1e100 && std::all_of(x.begin(), x.end(), [](double v) { return v == 0; });
    largest = std::max(largest, std::fabs(x.back()));
  }
  ASSERT_TRUE(restarted) << "largest excitation " << largest;
  std::vector<Frame> events(2000, Frame{Kind::Speech, {kClimb, kClimb + 10}});
  const auto tail = random_stream(99, 400);
  events.insert(events.end(), tail.begin(), tail.end());
  expect_agreement_on_every_path(events, decode_both, "runaway stream");
}

// Audio of every kind the encoder meets, in runs: speech at several levels
// in noise, silence, DC, noise, square waves, sweeps, full-scale random.
std::vector<std::int16_t> random_audio(unsigned seed, int frames,
                                       const std::vector<std::int16_t>& speech) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::vector<std::int16_t> out;
  while (static_cast<int>(out.size()) < 80 * frames) {
    const auto kind = gen() % 7;
    const int length = 80 * (1 + static_cast<int>(gen() % 50));
    const double level = std::pow(10.0, -4.0 + 4.5 * (gen() % 1000) / 1000.0) * 32768.0;
    const std::size_t start = gen() % speech.size();
    for (int n = 0; n < length; ++n) {
      const double kinds[] = {
          speech[(start + n) % speech.size()] * level / 4000.0 + noise(gen) * level * 0.01,
          0.0,
          level,
          noise(gen) * level,
          ((n / (2 + static_cast<int>(seed % 60))) % 2 ? 1 : -1) * level,
          level * std::sin(0.0001 * n * n / (1.0 + seed % 7)),
          static_cast<double>(static_cast<std::int16_t>(gen()))};
      out.push_back(
          static_cast<std::int16_t>(std::clamp(std::round(kinds[kind]), -32768.0, 32767.0)));
    }
  }
  return out;
}

TEST(Differential, EncoderOnLongRandomAudio) {
  REQUIRE_CONFORMANCE_DATA();
  const auto speech =
      testsupport::read_pcm(testsupport::shared_dir() + "/testvectors/g729a/SPEECH.IN");
  for (unsigned seed = 1; seed <= 3; ++seed) {
    SCOPED_TRACE(seed);
    expect_agreement_on_every_path(random_audio(seed, 4000, speech), encode_both, "random audio");
  }
}

}  // namespace
