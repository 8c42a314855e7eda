// Time per frame of two codec revisions in one process (scripts/ab-compare.sh
// builds them). Both encode and decode the same speech, frame by frame in
// turn, so whatever else the machine does falls on both alike; each frame's
// time is its minimum over the passes, and the figures are the means of
// those minima. Prints whether the two produced the same bits.
#include <x86intrin.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" {
void* ab_a_encoder();
void* ab_a_decoder();
void ab_a_encoder_init(void*);
void ab_a_decoder_init(void*);
void ab_a_encode(void*, const std::int16_t*, std::uint8_t*);
void ab_a_decode(void*, const std::uint8_t*, std::int16_t*);
void ab_a_decode_sid(void*, const std::uint8_t*, std::int16_t*);
void* ab_b_encoder();
void* ab_b_decoder();
void ab_b_encoder_init(void*);
void ab_b_decoder_init(void*);
void ab_b_encode(void*, const std::int16_t*, std::uint8_t*);
void ab_b_decode(void*, const std::uint8_t*, std::int16_t*);
void ab_b_decode_sid(void*, const std::uint8_t*, std::int16_t*);
}

namespace {

struct Side {
  void* (*encoder)();
  void* (*decoder)();
  void (*encoder_init)(void*);
  void (*decoder_init)(void*);
  void (*encode)(void*, const std::int16_t*, std::uint8_t*);
  void (*decode)(void*, const std::uint8_t*, std::int16_t*);
  void (*decode_sid)(void*, const std::uint8_t*, std::int16_t*);
  void* enc = nullptr;
  void* dec = nullptr;
  std::vector<std::uint64_t> enc_min, dec_min, sid_min;
  std::uint64_t enc_pass = ~0ull, dec_pass = ~0ull, sid_pass = ~0ull;  // the fastest whole pass
  std::vector<std::uint8_t> bits;
  std::vector<std::int16_t> out;
  std::vector<std::int16_t> sid_out;
};

std::uint64_t ticks() {
  unsigned aux;
  return __rdtscp(&aux);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: ab_compare raw-16-bit-file [passes]\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  const std::size_t frames = bytes.size() / 160;
  if (frames == 0) {
    std::fprintf(stderr, "no speech in %s\n", argv[1]);
    return 2;
  }
  std::vector<std::int16_t> pcm(frames * 80);
  std::memcpy(pcm.data(), bytes.data(), frames * 160);  // little-endian host
  const int passes = argc > 2 ? std::atoi(argv[2]) : 30;

  Side sides[2] = {{ab_a_encoder, ab_a_decoder, ab_a_encoder_init, ab_a_decoder_init, ab_a_encode,
                    ab_a_decode, ab_a_decode_sid},
                   {ab_b_encoder, ab_b_decoder, ab_b_encoder_init, ab_b_decoder_init, ab_b_encode,
                    ab_b_decode, ab_b_decode_sid}};
  // After the speech, a run of comfort-noise updates: SID frames of varied
  // envelopes and levels (a fixed sequence, the same for both sides).
  constexpr std::size_t kSidFrames = 200;
  std::vector<std::uint8_t> sid(2 * kSidFrames);
  std::uint32_t lcg = 12345;
  for (std::uint8_t& b : sid) {
    lcg = lcg * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(lcg >> 16);
  }
  for (Side& s : sides) {
    s.enc = s.encoder();
    s.dec = s.decoder();
    s.enc_min.assign(frames, ~0ull);
    s.dec_min.assign(frames, ~0ull);
    s.sid_min.assign(kSidFrames, ~0ull);
    s.sid_out.resize(kSidFrames * 80);
    s.bits.resize(frames * 10);
    s.out.resize(frames * 80);
  }

  const auto wall0 = std::chrono::steady_clock::now();
  const std::uint64_t tick0 = ticks();
  for (int p = 0; p < passes; ++p) {
    for (Side& s : sides) s.encoder_init(s.enc), s.decoder_init(s.dec);
    std::uint64_t pass_enc[2] = {0, 0}, pass_dec[2] = {0, 0}, pass_sid[2] = {0, 0};
    // n frames through run(side, f) on both sides in turn, who goes first
    // alternating; each frame's minimum and the pass's total per side.
    const auto timed = [&](std::size_t n, std::vector<std::uint64_t> Side::*minima,
                           std::uint64_t* total, auto run) {
      for (std::size_t f = 0; f < n; ++f) {
        for (int k = 0; k < 2; ++k) {
          const int side = (f + p + k) % 2;
          Side& s = sides[side];
          const std::uint64_t t = ticks();
          run(s, f);
          const std::uint64_t d = ticks() - t;
          (s.*minima)[f] = std::min((s.*minima)[f], d);
          total[side] += d;
        }
      }
    };
    timed(frames, &Side::enc_min, pass_enc,
          [&](Side& s, std::size_t f) { s.encode(s.enc, &pcm[80 * f], &s.bits[10 * f]); });
    timed(frames, &Side::dec_min, pass_dec,
          [&](Side& s, std::size_t f) { s.decode(s.dec, &s.bits[10 * f], &s.out[80 * f]); });
    timed(kSidFrames, &Side::sid_min, pass_sid,
          [&](Side& s, std::size_t f) { s.decode_sid(s.dec, &sid[2 * f], &s.sid_out[80 * f]); });
    for (int side = 0; side < 2; ++side) {
      sides[side].sid_pass = std::min(sides[side].sid_pass, pass_sid[side]);
      sides[side].enc_pass = std::min(sides[side].enc_pass, pass_enc[side]);
      sides[side].dec_pass = std::min(sides[side].dec_pass, pass_dec[side]);
    }
  }
  const double ns =
      std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - wall0).count();
  const double ticks_per_us = (ticks() - tick0) / ns * 1000.0;

  auto mean_us = [&](const std::vector<std::uint64_t>& v) {
    double sum = 0;
    for (std::uint64_t x : v) sum += static_cast<double>(x);
    return sum / static_cast<double>(v.size()) / ticks_per_us;
  };
  const double ea = mean_us(sides[0].enc_min), eb = mean_us(sides[1].enc_min);
  const double da = mean_us(sides[0].dec_min), db = mean_us(sides[1].dec_min);
  std::printf("frames %zu, passes %d; us per frame, mean of per-frame minima\n", frames, passes);
  std::printf("encode  A %.3f  B %.3f  B-A %+.3f\n", ea, eb, eb - ea);
  std::printf("decode  A %.3f  B %.3f  B-A %+.3f\n", da, db, db - da);
  const double sa = mean_us(sides[0].sid_min), sb = mean_us(sides[1].sid_min);
  std::printf("SID     A %.3f  B %.3f  B-A %+.3f\n", sa, sb, sb - sa);
  // Every frame as it came in the fastest pass: mispredictions and cache
  // misses of a whole run included, only the machine's interruptions left out.
  const auto pass_us = [&](std::uint64_t t, std::size_t n = 0) {
    return static_cast<double>(t) / static_cast<double>(n != 0 ? n : frames) / ticks_per_us;
  };
  const double pea = pass_us(sides[0].enc_pass), peb = pass_us(sides[1].enc_pass);
  const double pda = pass_us(sides[0].dec_pass), pdb = pass_us(sides[1].dec_pass);
  std::printf("us per frame, fastest whole pass\n");
  std::printf("encode  A %.3f  B %.3f  B-A %+.3f\n", pea, peb, peb - pea);
  std::printf("decode  A %.3f  B %.3f  B-A %+.3f\n", pda, pdb, pdb - pda);
  const double psa = pass_us(sides[0].sid_pass, kSidFrames);
  const double psb = pass_us(sides[1].sid_pass, kSidFrames);
  std::printf("SID     A %.3f  B %.3f  B-A %+.3f\n", psa, psb, psb - psa);
  const bool same = sides[0].bits == sides[1].bits && sides[0].out == sides[1].out &&
                    sides[0].sid_out == sides[1].sid_out;
  std::printf("%s\n", same ? "same bitstream and samples" : "BITSTREAMS OR SAMPLES DIFFER");
  return same ? 0 : 1;
}
