// The fast codec against the reference codec on every vector path: every
// conformance sequence and long random streams, outputs and whole states
// compared after every frame. A failure names the first frame and the first
// field that differs.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "codec/common/frame_format.h"
#include "codec/common/tables.h"
#include "codec/reference/lockstep.h"
#include "g729a/codec.h"
#include "itu_serial.h"
#include "support/simd_paths.h"
#include "support/test_support.h"

namespace {

using g729a::DecoderInput;

struct DecoderEvent {
  DecoderInput input = DecoderInput::Received;
  std::vector<std::uint8_t> bytes;  // Received only
};

const char* input_name(const DecoderEvent& e) {
  switch (e.input) {
    case DecoderInput::Erased:
      return "erased";
    case DecoderInput::Untransmitted:
      return "untransmitted";
    default:
      return e.bytes.size() == 10 ? "speech" : e.bytes.size() == 2 ? "SID" : "invalid";
  }
}

// Every path the machine offers.
std::vector<g729a::SimdPath> paths() {
  std::vector<g729a::SimdPath> out;
  for (auto path : {g729a::SimdPath::Scalar, g729a::SimdPath::Sse2, g729a::SimdPath::Avx2}) {
    testsupport::ForcedPath forced(path);
    if (forced.active() == path) out.push_back(path);
  }
  return out;
}

// Both decoders from their initial state through the events on the path in
// effect. Returns "" or the first difference with its frame.
std::string decode_both(const std::vector<DecoderEvent>& events) {
  g729a::DecoderState reference;
  g729a::DecoderState fast;
  g729a::decoder_init(reference);
  g729a::decoder_init(fast);
  for (std::size_t i = 0; i < events.size(); ++i) {
    const std::string d =
        g729a::decode_in_lockstep(reference, fast, events[i].input, events[i].bytes);
    if (!d.empty()) {
      return "frame " + std::to_string(i) + " (" + input_name(events[i]) + "): " + d;
    }
  }
  return "";
}

// Both encoders through every whole frame of pcm.
std::string encode_both(const std::vector<std::int16_t>& pcm) {
  g729a::EncoderState reference;
  g729a::EncoderState fast;
  g729a::encoder_init(reference);
  g729a::encoder_init(fast);
  for (std::size_t i = 0; i + 80 <= pcm.size(); i += 80) {
    const std::string d = g729a::encode_in_lockstep(
        reference, fast, std::span<const std::int16_t, 80>(pcm.data() + i, 80));
    if (!d.empty()) return "frame " + std::to_string(i / 80) + ": " + d;
  }
  return "";
}

// "name seed", built without operator+ on a literal, where GCC 12 at -O3
// warns of a memcpy overlap that cannot happen.
std::string numbered(const char* name, unsigned seed) {
  std::string out(name);
  out += ' ';
  out += std::to_string(seed);
  return out;
}

template <class Events, class Run>
void expect_agreement_on_every_path(const Events& input, Run run, const std::string& what) {
  for (const auto path : paths()) {
    testsupport::ForcedPath forced(path);
    EXPECT_EQ(run(input), "") << what << " on the " << g729a::simd_path_name(path) << " path";
  }
}

std::vector<DecoderEvent> serial_events(const std::string& path) {
  std::vector<g729io::SerialFrame> frames;
  std::string error;
  EXPECT_TRUE(g729io::parse_serial(testsupport::read_file(path), frames, error)) << error;
  std::vector<DecoderEvent> events;
  for (const auto& f : frames) {
    DecoderEvent e;
    if (f.kind == g729io::SerialFrameKind::Erased) {
      e.input = DecoderInput::Erased;
    } else if (f.kind == g729io::SerialFrameKind::Untransmitted) {
      e.input = DecoderInput::Untransmitted;
    } else {
      e.bytes = f.bytes;
    }
    events.push_back(e);
  }
  return events;
}

const char* const kAnnexA[] = {"ALGTHM", "ERASURE", "FIXED",  "LSP",  "OVERFLOW",
                               "PARITY", "PITCH",   "SPEECH", "TAME", "TEST"};
const char* const kAnnexB[] = {"tstseq1a", "tstseq2a", "tstseq3a",
                               "tstseq4a", "tstseq5",  "tstseq6"};

TEST(Differential, DecoderOnEveryConformanceSequence) {
  REQUIRE_CONFORMANCE_DATA();
  const std::string tv = testsupport::shared_dir() + "/testvectors/";
  std::vector<std::string> files;
  for (const char* name : kAnnexA) files.push_back(tv + "g729a/" + name + ".BIT");
  for (const char* name : kAnnexB) files.push_back(tv + "g729b/" + name + ".bit");
  int missing = 0;
  int untransmitted = 0;
  for (const auto& file : files) {
    const auto events = serial_events(file);
    ASSERT_FALSE(events.empty()) << file;
    for (const auto& e : events) {
      missing += e.input == DecoderInput::Erased;
      untransmitted += e.input == DecoderInput::Untransmitted;
    }
    expect_agreement_on_every_path(events, decode_both, file);
  }
  // The sequences reach both roads for missing frames.
  EXPECT_GT(missing, 0);
  EXPECT_GT(untransmitted, 0);
}

TEST(Differential, EncoderOnEveryConformanceInput) {
  REQUIRE_CONFORMANCE_DATA();
  const std::string tv = testsupport::shared_dir() + "/testvectors/";
  std::vector<std::string> files;
  for (const char* name : {"ALGTHM", "FIXED", "LSP", "PITCH", "SPEECH", "TAME", "TEST"}) {
    files.push_back(tv + "g729a/" + name + ".IN");
  }
  for (const char* name : {"tstseq1", "tstseq2", "tstseq3", "tstseq4"}) {
    files.push_back(tv + "g729b/" + name + ".bin");
  }
  for (const auto& file : files) {
    const auto pcm = testsupport::read_pcm(file);
    ASSERT_GE(pcm.size(), 80u) << file;
    expect_agreement_on_every_path(pcm, encode_both, file);
  }
}

// The gain index whose adaptive gain is the largest the codebooks give:
// frames that drive the excitation upwards.
std::int32_t largest_pitch_gain_index() {
  std::int32_t best = 0;
  double best_gain = -1.0;
  for (int ga = 0; ga < 8; ++ga) {
    for (int gb = 0; gb < 16; ++gb) {
      const double g =
          g729a::gain_cb1[g729a::gain_unmap1[ga]][0] + g729a::gain_cb2[g729a::gain_unmap2[gb]][0];
      if (g > best_gain) {
        best_gain = g;
        best = ga << 4 | gb;
      }
    }
  }
  return best;
}

std::vector<std::uint8_t> random_bytes(std::mt19937& gen, std::size_t n) {
  std::vector<std::uint8_t> out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(gen());
  return out;
}

// A speech frame of random fields whose gains are the largest, at one delay.
std::vector<std::uint8_t> hostile_frame(std::mt19937& gen, int p1) {
  g729a::FrameParameters p;
  p.kind = g729a::FrameKind::Speech;
  const auto bytes = random_bytes(gen, 10);
  g729a::unpack_frame(bytes.data(), 10, p);
  const std::int32_t gain = largest_pitch_gain_index();
  p.slots[g729a::kSlotP1] = p1;
  p.slots[g729a::kSlotP0] = g729a::pitch_parity(p1);
  p.slots[g729a::kSlotGain1] = gain;
  p.slots[g729a::kSlotGain2] = gain;
  std::vector<std::uint8_t> out(10);
  g729a::pack_speech_frame(p, std::span<std::uint8_t, 10>(out.data(), 10));
  return out;
}

// Runs of random speech, hostile speech, SID, erased and untransmitted
// frames and the odd invalid length.
std::vector<DecoderEvent> random_stream(unsigned seed, int frames) {
  std::mt19937 gen(seed);
  std::vector<DecoderEvent> events;
  while (static_cast<int>(events.size()) < frames) {
    const int kind = static_cast<int>(gen() % 100);
    const int run = 1 + static_cast<int>(gen() % 24);
    const int p1 = static_cast<int>(gen() % 256);
    for (int r = 0; r < run; ++r) {
      DecoderEvent e;
      if (kind < 45) {
        e.bytes = random_bytes(gen, 10);
      } else if (kind < 60) {
        e.bytes = hostile_frame(gen, p1);
      } else if (kind < 75) {
        e.bytes = random_bytes(gen, 2);
      } else if (kind < 85) {
        e.input = DecoderInput::Erased;
      } else if (kind < 97) {
        e.input = DecoderInput::Untransmitted;
      } else {
        const std::size_t lengths[] = {0, 1, 3, 9, 11, 20};
        e.bytes = random_bytes(gen, lengths[gen() % 6]);
      }
      events.push_back(e);
    }
  }
  return events;
}

TEST(Differential, DecoderOnLongRandomStreams) {
  int hostile = 0;
  for (unsigned seed = 1; seed <= 4; ++seed) {
    const auto events = random_stream(seed, 20000);
    hostile += static_cast<int>(std::count_if(events.begin(), events.end(), [](const auto& e) {
      g729a::FrameParameters p;
      return e.bytes.size() == 10 && g729a::unpack_frame(e.bytes.data(), 10, p) &&
             p.slots[g729a::kSlotGain1] == largest_pitch_gain_index();
    }));
    expect_agreement_on_every_path(events, decode_both, numbered("random stream", seed));
  }
  EXPECT_GT(hostile, 0);
}

// Some thousand frames of the largest gain at one delay overflow the state,
// so the channel restarts; then speech and comfort noise go on.
TEST(Differential, DecoderThroughARunawayAndItsRestart) {
  const std::uint8_t climb[10] = {0x00, 0x00, 0x00, 0x60, 0x00, 0xF0, 0xA5, 0x00, 0x07, 0x85};
  // The stream does restart the channel within its 2000 frames.
  g729a::DecoderState state;
  g729a::decoder_init(state);
  double largest = 0.0;
  bool restarted = false;
  for (int i = 0; i < 2000; ++i) {
    std::int16_t pcm[80];
    ASSERT_TRUE(g729a::decoder_decode(state, std::span<const std::uint8_t>(climb, 10), pcm));
    const double v = std::fabs(state.excitation_buffer.back());
    // A restarted channel's excitation is all zero again.
    restarted = restarted || (largest > 1e100 && std::all_of(state.excitation_buffer.begin(),
                                                             state.excitation_buffer.end(),
                                                             [](double x) { return x == 0.0; }));
    largest = std::max(largest, v);
  }
  ASSERT_TRUE(restarted) << "largest excitation " << largest;
  std::vector<DecoderEvent> events(2000, DecoderEvent{DecoderInput::Received, {climb, climb + 10}});
  const auto tail = random_stream(99, 400);
  events.insert(events.end(), tail.begin(), tail.end());
  expect_agreement_on_every_path(events, decode_both, "runaway stream");
}

// Audio of every kind the encoder meets: speech at several levels with
// noise, silence, DC, full-scale noise and square waves, sweeps, clipping.
std::vector<std::int16_t> random_audio(unsigned seed, int frames,
                                       const std::vector<std::int16_t>& speech) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::vector<std::int16_t> out;
  auto push = [&](double v) {
    out.push_back(static_cast<std::int16_t>(std::clamp(std::round(v), -32768.0, 32767.0)));
  };
  while (static_cast<int>(out.size()) < 80 * frames) {
    const int kind = static_cast<int>(gen() % 7);
    const int length = 80 * (1 + static_cast<int>(gen() % 50));
    const double level = std::pow(10.0, -4.0 + 4.5 * (gen() % 1000) / 1000.0) * 32768.0;
    const std::size_t start = speech.empty() ? 0 : gen() % speech.size();
    for (int n = 0; n < length; ++n) {
      switch (kind) {
        case 0:
          push(speech.empty() ? 0.0
                              : speech[(start + n) % speech.size()] * level / 4000.0 +
                                    noise(gen) * level * 0.01);
          break;
        case 1:
          push(0.0);
          break;
        case 2:
          push(level);
          break;
        case 3:
          push(noise(gen) * level);
          break;
        case 4:
          push(((n / (2 + static_cast<int>(seed % 60))) % 2 ? 1 : -1) * level);
          break;
        case 5:
          push(level * std::sin(0.0001 * n * n / (1.0 + seed % 7)));
          break;
        default:
          push(static_cast<std::int16_t>(gen()));
      }
    }
  }
  return out;
}

TEST(Differential, EncoderOnLongRandomAudio) {
  REQUIRE_CONFORMANCE_DATA();
  const auto speech =
      testsupport::read_pcm(testsupport::shared_dir() + "/testvectors/g729a/SPEECH.IN");
  for (unsigned seed = 1; seed <= 3; ++seed) {
    expect_agreement_on_every_path(random_audio(seed, 4000, speech), encode_both,
                                   numbered("random audio", seed));
  }
}

}  // namespace
