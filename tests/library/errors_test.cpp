// Every error the C library returns, beside the nearest accepted call, with
// the states and the caller's buffers left exactly as they were; states
// placed over leftover bytes, initialised again, and run on several threads.
#include <g729a/g729a.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace {

std::vector<std::int16_t> speech() {
  auto pcm =
      testsupport::read_pcm(std::string(G729A_SOURCE_DIR) + "/data/speech/librivox_austen_8k.raw");
  pcm.resize(80 * 300);
  return pcm;
}

// Each call below on states twenty frames into speech: a refused call
// changes no byte of either state, of `frame` or of `out`; an accepted one
// that returns a count moves a state on and writes its output; no call
// writes past ten bytes of `frame`.
#define EXPECT_CALL_GIVES(result, call) check(#call, result, [&] { return call; })

TEST(LibraryErrors, EachRefusalLeavesStatesAndBuffersAsTheyWere) {
  const auto pcm = speech();
  std::vector<unsigned char> enc_mem(std::size_t(g729a_encoder_get_size()) + 16);
  std::vector<unsigned char> dec_mem(std::size_t(g729a_decoder_get_size()) + 16);
  auto* enc = reinterpret_cast<G729AEncoder*>(enc_mem.data());
  auto* dec = reinterpret_cast<G729ADecoder*>(dec_mem.data());
  ASSERT_EQ(g729a_encoder_init(enc, 0), G729A_OK);
  ASSERT_EQ(g729a_decoder_init(dec), G729A_OK);
  std::array<unsigned char, 20> coded{};  // one frame, with room for longer lengths
  std::array<std::int16_t, 80> out;
  for (int f = 0; f < 20; ++f) {
    ASSERT_EQ(g729a_encode(enc, &pcm[80 * f], coded.data(), 10), 10);
    ASSERT_EQ(g729a_decode(dec, coded.data(), 10, out.data()), 80);
  }
  const auto enc_before = enc_mem, dec_before = dec_mem;
  std::array<unsigned char, 16> frame;
  auto check = [&](const char* call, int result, const std::function<int()>& run) {
    frame.fill(0x5C);
    out.fill(1234);
    EXPECT_EQ(run(), result) << call;
    const bool moved = enc_mem != enc_before || dec_mem != dec_before;
    const bool written = std::count(frame.begin(), frame.end(), 0x5C) != 16 ||
                         std::count(out.begin(), out.end(), 1234) != 80;
    EXPECT_TRUE(result <= 0 || (moved && written)) << call;
    EXPECT_TRUE(result >= 0 || !(moved || written)) << call;
    EXPECT_EQ(std::count(frame.begin() + 10, frame.end(), 0x5C), 6) << call;
    enc_mem = enc_before;
    dec_mem = dec_before;
  };
  auto* misaligned_enc = reinterpret_cast<G729AEncoder*>(&enc_mem[1]);  // for the states' doubles
  auto* misaligned_dec = reinterpret_cast<G729ADecoder*>(&dec_mem[1]);
  int error = 0;
  const unsigned char sid[2] = {0x5A, 0x3C};
  EXPECT_CALL_GIVES(G729A_BAD_ARG, g729a_encoder_init(nullptr, 0));
  EXPECT_CALL_GIVES(G729A_BAD_ARG, g729a_decoder_init(nullptr));
  EXPECT_CALL_GIVES(G729A_BAD_ARG, g729a_encoder_init(misaligned_enc, 0));
  EXPECT_CALL_GIVES(G729A_BAD_ARG, g729a_decoder_init(misaligned_dec));
  EXPECT_CALL_GIVES(G729A_BAD_ARG, g729a_encoder_create(8, &error) ? G729A_OK : error);
  EXPECT_CALL_GIVES(G729A_BAD_ARG, g729a_encoder_create(8, nullptr) ? G729A_OK : G729A_BAD_ARG);
  EXPECT_CALL_GIVES(G729A_BAD_ARG, g729a_encode(nullptr, pcm.data(), frame.data(), 16));
  EXPECT_CALL_GIVES(G729A_BAD_ARG, g729a_encode(enc, nullptr, frame.data(), 16));
  EXPECT_CALL_GIVES(G729A_BAD_ARG, g729a_encode(enc, pcm.data(), nullptr, 16));
  EXPECT_CALL_GIVES(G729A_BAD_ARG, g729a_decode(nullptr, coded.data(), 10, out.data()));
  EXPECT_CALL_GIVES(G729A_BAD_ARG, g729a_decode(dec, coded.data(), 10, nullptr));
  EXPECT_CALL_GIVES(G729A_OK, g729a_encoder_init(enc, G729A_DTX));
  EXPECT_CALL_GIVES(80, g729a_decode(dec, coded.data(), 10, out.data()));
  EXPECT_CALL_GIVES(80, g729a_decode(dec, sid, 2, out.data()));
  EXPECT_CALL_GIVES(80, g729a_decode(dec, sid, 0, out.data()));       // untransmitted
  EXPECT_CALL_GIVES(80, g729a_decode(dec, nullptr, -7, out.data()));  // lost
  for (int flags : {2, 4, 1 << 30, -1, G729A_DTX | 2}) {              // bits no header defines
    SCOPED_TRACE(flags);
    EXPECT_CALL_GIVES(G729A_BAD_ARG, g729a_encoder_init(enc, flags));
  }
  for (int max_bytes : {9, 2, 0, -1, -10, 10, 16}) {
    SCOPED_TRACE(max_bytes);
    EXPECT_CALL_GIVES(max_bytes < 10 ? G729A_BUFFER_TOO_SMALL : 10,
                      g729a_encode(enc, pcm.data(), frame.data(), max_bytes));
  }
  for (int len : {1, 3, 9, 11, 12, 20, -1, -10}) {
    SCOPED_TRACE(len);
    EXPECT_CALL_GIVES(G729A_INVALID_PACKET, g729a_decode(dec, coded.data(), len, out.data()));
  }
  g729a_encoder_destroy(nullptr);
  g729a_decoder_destroy(nullptr);

  // One message per code, and one for any other number.
  std::set<std::string> messages{"unknown error"};
  for (int code = G729A_ALLOC_FAIL; code <= G729A_OK; ++code) messages.insert(g729a_strerror(code));
  EXPECT_EQ(messages.size(), 7u);
  EXPECT_STREQ(g729a_strerror(G729A_ALLOC_FAIL - 1), "unknown error");
  EXPECT_STREQ(g729a_strerror(1), "unknown error");
  EXPECT_STREQ(g729a_version_string(), "libg729a " G729A_PROJECT_VERSION);
}

// The frames an encoder gives for pcm, each followed by the samples a
// decoder makes of it.
std::vector<int> run(G729AEncoder* enc, G729ADecoder* dec, const std::vector<std::int16_t>& pcm) {
  std::vector<int> out;
  for (std::size_t f = 0; f + 80 <= pcm.size(); f += 80) {
    unsigned char frame[10];
    std::int16_t samples[80];
    EXPECT_EQ(g729a_encode(enc, &pcm[f], frame, 10), 10);
    EXPECT_EQ(g729a_decode(dec, frame, 10, samples), 80);
    out.insert(out.end(), frame, frame + 10);
    out.insert(out.end(), samples, samples + 80);
  }
  return out;
}

// States placed in caller memory over leftover bytes, on four threads at
// once, and initialised again after a run, give what one created pair gives.
TEST(LibraryStates, PlacedStatesOnThreadsAgreeWithCreatedOnes) {
  const auto pcm = speech();
  G729AEncoder* enc = g729a_encoder_create(0, nullptr);
  G729ADecoder* dec = g729a_decoder_create(nullptr);
  const auto expected = run(enc, dec, pcm);
  g729a_encoder_destroy(enc);
  g729a_decoder_destroy(dec);
  std::vector<std::vector<int>> runs(8);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      const auto leftover = static_cast<unsigned char>(0xFF - 0x40 * t);
      std::vector<unsigned char> e(std::size_t(g729a_encoder_get_size()), leftover);
      std::vector<unsigned char> d(std::size_t(g729a_decoder_get_size()), leftover);
      auto* placed_enc = reinterpret_cast<G729AEncoder*>(e.data());
      auto* placed_dec = reinterpret_cast<G729ADecoder*>(d.data());
      for (int pass = 0; pass < 2; ++pass) {
        EXPECT_EQ(g729a_encoder_init(placed_enc, 0) + g729a_decoder_init(placed_dec), G729A_OK);
        runs[std::size_t(2 * t + pass)] = run(placed_enc, placed_dec, pcm);
      }
    });
  }
  for (auto& t : threads) t.join();
  for (std::size_t i = 0; i < runs.size(); ++i) {
    EXPECT_TRUE(runs[i] == expected) << "thread " << i / 2 << ", pass " << i % 2;
  }
}

}  // namespace
