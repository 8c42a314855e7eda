#include "bench.h"

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <span>
#include <vector>

#include "audio_file.h"
#include "report.h"
#include "standin.h"

extern const unsigned char demo_speech_bytes[];
extern const std::size_t demo_speech_bytes_size;

namespace g729tool {
namespace {

constexpr int kRepetitions = 5;
constexpr int kPasses = 4;               // passes over the sample per repetition
constexpr std::size_t kHostFrame = 160;  // 20 ms, as a switch hands it over

// CPU time of this thread: other load on the machine does not count.
double thread_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Median over repetitions of the seconds one pass of work takes.
template <class Pass>
double median_seconds(Pass pass) {
  std::vector<double> times;
  for (int r = 0; r < kRepetitions; ++r) {
    const double start = thread_seconds();
    for (int p = 0; p < kPasses; ++p) pass();
    times.push_back((thread_seconds() - start) / kPasses);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int run_bench(const CodecModule& codec) {
  auto speech = pcm_from_bytes(std::span(demo_speech_bytes, demo_speech_bytes_size));
  speech.resize(speech.size() / kHostFrame * kHostFrame);
  const double frames = static_cast<double>(speech.size()) / 80.0;

  std::vector<std::uint8_t> encoded;
  {
    standin::Channel channel(codec.encoder);
    for (std::size_t pos = 0; pos < speech.size(); pos += kHostFrame) {
      channel.feed_pcm(std::span(speech).subspan(pos, kHostFrame), encoded);
    }
  }
  const double encode = median_seconds([&] {
    standin::Channel channel(codec.encoder);
    std::vector<std::uint8_t> out;
    for (std::size_t pos = 0; pos < speech.size(); pos += kHostFrame) {
      out.clear();
      channel.feed_pcm(std::span(speech).subspan(pos, kHostFrame), out);
    }
  });
  const double decode = median_seconds([&] {
    standin::Channel channel(codec.decoder);
    std::vector<std::int16_t> out;
    for (std::size_t pos = 0; pos + 20 <= encoded.size(); pos += 20) {
      out.clear();
      channel.feed_payload(std::span(encoded).subspan(pos, 20), out);
    }
  });

  const double encode_us = encode / frames * 1e6;
  const double decode_us = decode / frames * 1e6;
  char line[160];
  std::snprintf(line, sizeof line, "encode: %.2f us per 10 ms frame", encode_us);
  print_result(line);
  std::snprintf(line, sizeof line, "decode: %.2f us per 10 ms frame", decode_us);
  print_result(line);
  // A full-duplex channel encodes and decodes 100 frames each per second.
  std::snprintf(line, sizeof line, "full-duplex channels per core: %.0f",
                1e6 / (100.0 * (encode_us + decode_us)));
  print_result(line);
  return 0;
}

}  // namespace g729tool
