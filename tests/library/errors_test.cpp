// Every error the C library returns, at each boundary, with the state and
// the caller's buffers left exactly as they were; states placed in caller
// memory; independent states on several threads.
#include <g729a/g729a.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace {

std::vector<std::int16_t> speech() {
  auto pcm =
      testsupport::read_pcm(std::string(G729A_SOURCE_DIR) + "/data/speech/librivox_austen_8k.raw");
  pcm.resize(std::min<std::size_t>(pcm.size(), 80 * 300));
  return pcm;
}

// A state in caller memory, with a copy of its bytes to compare against.
struct Placed {
  explicit Placed(int size) : bytes(std::size_t(size) + 16), snapshot() {}
  std::vector<unsigned char> bytes;  // operator new's alignment, as malloc's
  std::vector<unsigned char> snapshot;
  void* at() { return bytes.data(); }
  void take() { snapshot = bytes; }
  bool unchanged() const { return snapshot == bytes; }
};

std::vector<unsigned char> encode_all(G729AEncoder* enc, const std::vector<std::int16_t>& pcm) {
  std::vector<unsigned char> out;
  for (std::size_t f = 0; f + 80 <= pcm.size(); f += 80) {
    unsigned char frame[10];
    EXPECT_EQ(g729a_encode(enc, &pcm[f], frame, 10), 10);
    out.insert(out.end(), frame, frame + 10);
  }
  return out;
}

TEST(LibraryErrors, EachCodeHasItsOwnMessage) {
  const int codes[] = {
      G729A_OK,          G729A_BAD_ARG,   G729A_BUFFER_TOO_SMALL, G729A_INVALID_PACKET,
      G729A_UNSUPPORTED, G729A_ALLOC_FAIL};
  std::set<std::string> messages;
  for (int code : codes) {
    ASSERT_NE(g729a_strerror(code), nullptr);
    messages.insert(g729a_strerror(code));
    if (code != G729A_OK) {
      EXPECT_LT(code, 0);
    }
  }
  EXPECT_EQ(messages.size(), std::size(codes));
  EXPECT_STREQ(g729a_strerror(-6), "unknown error");
  EXPECT_STREQ(g729a_strerror(1), "unknown error");
  EXPECT_EQ(std::string(g729a_version_string()), "libg729a " G729A_PROJECT_VERSION);
}

TEST(LibraryErrors, EncoderFlagsAreChecked) {
  Placed p(g729a_encoder_get_size());
  std::memset(p.at(), 0xA5, p.bytes.size());
  p.take();
  auto* enc = static_cast<G729AEncoder*>(p.at());
  // Bits no header defines are invalid, alone or beside G729A_DTX.
  for (int flags : {2, 4, 1 << 30, -1, G729A_DTX | 2}) {
    EXPECT_EQ(g729a_encoder_init(enc, flags), G729A_BAD_ARG) << flags;
  }
  EXPECT_TRUE(p.unchanged());
  int error = 0;
  G729AEncoder* dtx = g729a_encoder_create(G729A_DTX, &error);
  EXPECT_NE(dtx, nullptr);
  EXPECT_EQ(error, G729A_OK);
  g729a_encoder_destroy(dtx);
  EXPECT_EQ(g729a_encoder_create(8, &error), nullptr);
  EXPECT_EQ(error, G729A_BAD_ARG);
  EXPECT_EQ(g729a_encoder_create(8, nullptr), nullptr);
  EXPECT_EQ(g729a_encoder_init(nullptr, 0), G729A_BAD_ARG);
  EXPECT_EQ(g729a_decoder_init(nullptr), G729A_BAD_ARG);
  // Memory not aligned for the state's doubles.
  auto* odd = reinterpret_cast<G729AEncoder*>(p.bytes.data() + 1);
  EXPECT_EQ(g729a_encoder_init(odd, 0), G729A_BAD_ARG);
  EXPECT_EQ(g729a_decoder_init(reinterpret_cast<G729ADecoder*>(p.bytes.data() + 1)), G729A_BAD_ARG);
  EXPECT_TRUE(p.unchanged());
  g729a_encoder_destroy(nullptr);
  g729a_decoder_destroy(nullptr);
}

TEST(LibraryErrors, EncodeRefusesBadArgumentsWithoutTouchingAnything) {
  const auto pcm = speech();
  Placed p(g729a_encoder_get_size());
  auto* enc = static_cast<G729AEncoder*>(p.at());
  ASSERT_EQ(g729a_encoder_init(enc, 0), G729A_OK);
  unsigned char frame[10];
  for (int f = 0; f < 20; ++f) ASSERT_EQ(g729a_encode(enc, &pcm[80 * f], frame, 10), 10);
  p.take();
  unsigned char out[16];
  std::memset(out, 0x5C, sizeof out);
  EXPECT_EQ(g729a_encode(nullptr, pcm.data(), out, 16), G729A_BAD_ARG);
  EXPECT_EQ(g729a_encode(enc, nullptr, out, 16), G729A_BAD_ARG);
  EXPECT_EQ(g729a_encode(enc, pcm.data(), nullptr, 16), G729A_BAD_ARG);
  for (int max_bytes : {9, 2, 0, -1, -10}) {
    EXPECT_EQ(g729a_encode(enc, pcm.data(), out, max_bytes), G729A_BUFFER_TOO_SMALL) << max_bytes;
  }
  EXPECT_TRUE(p.unchanged());
  EXPECT_TRUE(std::all_of(out, out + 16, [](unsigned char b) { return b == 0x5C; }));
  // Exactly ten bytes are written when more room is offered.
  EXPECT_EQ(g729a_encode(enc, &pcm[80 * 20], out, 16), 10);
  EXPECT_TRUE(std::all_of(out + 10, out + 16, [](unsigned char b) { return b == 0x5C; }));
  EXPECT_FALSE(p.unchanged());
}

TEST(LibraryErrors, DecodeRefusesOtherLengthsWithoutTouchingAnything) {
  G729AEncoder* enc = g729a_encoder_create(0, nullptr);
  const auto frames = encode_all(enc, speech());
  g729a_encoder_destroy(enc);
  Placed p(g729a_decoder_get_size());
  auto* dec = static_cast<G729ADecoder*>(p.at());
  ASSERT_EQ(g729a_decoder_init(dec), G729A_OK);
  std::int16_t pcm[80];
  for (int f = 0; f < 20; ++f) ASSERT_EQ(g729a_decode(dec, &frames[10 * f], 10, pcm), 80);
  p.take();
  std::int16_t out[80];
  std::fill(std::begin(out), std::end(out), std::int16_t{1234});
  for (int len : {1, 3, 9, 11, 12, 20, -1, -10}) {
    EXPECT_EQ(g729a_decode(dec, frames.data(), len, out), G729A_INVALID_PACKET) << len;
  }
  EXPECT_EQ(g729a_decode(nullptr, frames.data(), 10, out), G729A_BAD_ARG);
  EXPECT_EQ(g729a_decode(dec, frames.data(), 10, nullptr), G729A_BAD_ARG);
  EXPECT_EQ(g729a_decode(dec, nullptr, 10, nullptr), G729A_BAD_ARG);
  EXPECT_TRUE(p.unchanged());
  EXPECT_TRUE(
      std::all_of(std::begin(out), std::end(out), [](std::int16_t v) { return v == 1234; }));
  // Every accepted form moves the state on and writes 80 samples.
  const unsigned char sid[2] = {0x5A, 0x3C};
  for (auto [data, len] : {std::pair{&frames[200], 10}, std::pair{sid, 2}, std::pair{sid, 0},
                           std::pair{(const unsigned char*)nullptr, 10},
                           std::pair{(const unsigned char*)nullptr, -7}}) {
    p.take();
    std::fill(std::begin(out), std::end(out), std::int16_t{1234});
    EXPECT_EQ(g729a_decode(dec, data, len, out), 80) << len;
    EXPECT_FALSE(p.unchanged()) << len;
    EXPECT_FALSE(std::all_of(std::begin(out), std::end(out), [](std::int16_t v) {
      return v == 1234;
    })) << len;
  }
}

// A state initialised over leftover bytes behaves like a fresh one, and one
// initialised again starts over.
TEST(LibraryStates, InitIgnoresPreviousContent) {
  const auto pcm = speech();
  G729AEncoder* fresh = g729a_encoder_create(0, nullptr);
  const auto expected = encode_all(fresh, pcm);
  g729a_encoder_destroy(fresh);

  void* memory = std::malloc(std::size_t(g729a_encoder_get_size()));
  std::memset(memory, 0xFF, std::size_t(g729a_encoder_get_size()));
  auto* enc = static_cast<G729AEncoder*>(memory);
  ASSERT_EQ(g729a_encoder_init(enc, 0), G729A_OK);
  EXPECT_EQ(encode_all(enc, pcm), expected);
  ASSERT_EQ(g729a_encoder_init(enc, 0), G729A_OK);
  EXPECT_EQ(encode_all(enc, pcm), expected);
  std::free(memory);

  G729ADecoder* a = g729a_decoder_create(nullptr);
  void* dmemory = std::malloc(std::size_t(g729a_decoder_get_size()));
  std::memset(dmemory, 0x7F, std::size_t(g729a_decoder_get_size()));
  auto* b = static_cast<G729ADecoder*>(dmemory);
  ASSERT_EQ(g729a_decoder_init(b), G729A_OK);
  for (std::size_t f = 0; f < expected.size(); f += 10) {
    std::int16_t x[80], y[80];
    ASSERT_EQ(g729a_decode(a, &expected[f], 10, x), 80);
    ASSERT_EQ(g729a_decode(b, &expected[f], 10, y), 80);
    ASSERT_TRUE(std::equal(x, x + 80, y)) << "frame " << f / 10;
  }
  g729a_decoder_destroy(a);
  std::free(dmemory);
}

// States on different threads at once give what one thread gives alone.
TEST(LibraryStates, IndependentAcrossThreads) {
  const auto pcm = speech();
  G729AEncoder* enc = g729a_encoder_create(0, nullptr);
  const auto expected = encode_all(enc, pcm);
  g729a_encoder_destroy(enc);
  constexpr int kThreads = 4;
  std::vector<std::vector<unsigned char>> results(kThreads);
  std::vector<std::vector<std::int16_t>> decoded(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      G729AEncoder* e = g729a_encoder_create(0, nullptr);
      G729ADecoder* d = g729a_decoder_create(nullptr);
      results[t] = encode_all(e, pcm);
      for (std::size_t f = 0; f < results[t].size(); f += 10) {
        std::int16_t out[80];
        g729a_decode(d, &results[t][f], 10, out);
        decoded[t].insert(decoded[t].end(), out, out + 80);
      }
      g729a_encoder_destroy(e);
      g729a_decoder_destroy(d);
    });
  }
  for (auto& t : threads) t.join();
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(results[t], expected) << "thread " << t;
    EXPECT_EQ(decoded[t], decoded[0]) << "thread " << t;
  }
}

}  // namespace
