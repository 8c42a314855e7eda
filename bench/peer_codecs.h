// Our codec and three others built for telephone speech, behind one small
// interface, so that the peer benchmark and its callgrind workload run them
// the same way on the same input: Opus (SILK, narrowband, 8 kbit/s,
// complexity 0, 10 ms), Speex (narrowband, 8 kbit/s, 20 ms), GSM full rate
// (13 kbit/s, 20 ms). Costs are compared per 10 ms of audio, since the
// frame lengths differ.
#pragma once

#include <gsm.h>
#include <opus.h>
#include <speex/speex.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "codec/simd/simd.h"
#include "g729a/codec.h"

namespace peer {

[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr, "peer codecs: %s\n", what);
  std::abort();
}

// The bundled speech sample, cut to whole 20 ms so that every codec sees
// exactly the same samples.
inline std::vector<std::int16_t> speech_sample() {
  std::ifstream in(G729A_SOURCE_DIR "/data/speech/librivox_austen_8k.raw", std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  std::vector<std::int16_t> pcm(bytes.size() / 2);
  for (std::size_t i = 0; i < pcm.size(); ++i) {
    pcm[i] = static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[2 * i]) |
                                       (static_cast<std::uint8_t>(bytes[2 * i + 1]) << 8));
  }
  pcm.resize(pcm.size() / 160 * 160);
  if (pcm.size() < 1600) fail("speech sample missing");
  return pcm;
}

// Packets back to back; packet i is bytes[offsets[i], offsets[i + 1]).
struct Bitstream {
  std::vector<std::uint8_t> bytes;
  std::vector<std::size_t> offsets;
};

class G729a {
 public:
  static constexpr const char* kName = "g729a";
  static constexpr int kFrameSamples = 80;
  static constexpr int kMaxPacket = g729a::kSpeechFrameBytes;

  G729a()
      : enc_(std::make_unique<g729a::EncoderState>()),
        dec_(std::make_unique<g729a::DecoderState>()) {
    g729a::encoder_init(*enc_);
    g729a::decoder_init(*dec_);
  }
  std::size_t encode(const std::int16_t* pcm, std::uint8_t* packet) {
    g729a::encoder_encode(*enc_, std::span<const std::int16_t, 80>(pcm, 80),
                          std::span<std::uint8_t, 10>(packet, 10));
    return kMaxPacket;
  }
  void decode(const std::uint8_t* packet, std::size_t bytes, std::int16_t* pcm) {
    if (!g729a::decoder_decode(*dec_, std::span<const std::uint8_t>(packet, bytes),
                               std::span<std::int16_t, 80>(pcm, 80))) {
      fail("g729a: frame refused");
    }
  }
  std::string settings(const Bitstream&) const {
    return std::string("vector path ") + g729a::simd_path_name(g729a::simd_path());
  }

 private:
  std::unique_ptr<g729a::EncoderState> enc_;
  std::unique_ptr<g729a::DecoderState> dec_;
};

class OpusSilkNb8 {
 public:
  static constexpr const char* kName = "opus_silk_nb8";
  static constexpr int kFrameSamples = 80;
  static constexpr int kMaxPacket = 1276;

  OpusSilkNb8() {
    int error = OPUS_OK;
    enc_ = opus_encoder_create(8000, 1, OPUS_APPLICATION_VOIP, &error);
    if (error != OPUS_OK) fail("opus: encoder");
    dec_ = opus_decoder_create(8000, 1, &error);
    if (error != OPUS_OK) fail("opus: decoder");
    // No public switch forces SILK in 1.3; narrowband, 8 kbit/s and a voice
    // signal leave it nothing else to choose. settings() checks the packets.
    if (opus_encoder_ctl(enc_, OPUS_SET_BANDWIDTH(OPUS_BANDWIDTH_NARROWBAND)) != OPUS_OK ||
        opus_encoder_ctl(enc_, OPUS_SET_BITRATE(8000)) != OPUS_OK ||
        opus_encoder_ctl(enc_, OPUS_SET_COMPLEXITY(0)) != OPUS_OK ||
        opus_encoder_ctl(enc_, OPUS_SET_SIGNAL(OPUS_SIGNAL_VOICE)) != OPUS_OK) {
      fail("opus: settings refused");
    }
  }
  ~OpusSilkNb8() {
    opus_encoder_destroy(enc_);
    opus_decoder_destroy(dec_);
  }
  OpusSilkNb8(const OpusSilkNb8&) = delete;
  OpusSilkNb8& operator=(const OpusSilkNb8&) = delete;

  std::size_t encode(const std::int16_t* pcm, std::uint8_t* packet) {
    const opus_int32 n = opus_encode(enc_, pcm, kFrameSamples, packet, kMaxPacket);
    if (n < 1) fail("opus: encode");
    return static_cast<std::size_t>(n);
  }
  void decode(const std::uint8_t* packet, std::size_t bytes, std::int16_t* pcm) {
    if (opus_decode(dec_, packet, static_cast<opus_int32>(bytes), pcm, kFrameSamples, 0) !=
        kFrameSamples) {
      fail("opus: decode");
    }
  }
  // What the encoder holds and what its packets say: the TOC byte's
  // configuration (0-3 SILK narrowband 10/20/40/60 ms, 4-11 SILK wider,
  // 12-15 hybrid, 16-31 CELT) and the coded bandwidth.
  std::string settings(const Bitstream& coded) const {
    opus_int32 bitrate = 0, complexity = 0, vbr = 0;
    opus_encoder_ctl(enc_, OPUS_GET_BITRATE(&bitrate));
    opus_encoder_ctl(enc_, OPUS_GET_COMPLEXITY(&complexity));
    opus_encoder_ctl(enc_, OPUS_GET_VBR(&vbr));
    std::size_t silk_nb_10ms = 0, narrowband = 0, other = 0;
    int first_other = -1;
    const std::size_t packets = coded.offsets.size() - 1;
    for (std::size_t i = 0; i < packets; ++i) {
      const std::uint8_t* p = &coded.bytes[coded.offsets[i]];
      const int config = p[0] >> 3;
      if (opus_packet_get_bandwidth(p) == OPUS_BANDWIDTH_NARROWBAND) ++narrowband;
      if (config == 0 && (p[0] & 3) == 0 && opus_packet_get_samples_per_frame(p, 8000) == 80) {
        ++silk_nb_10ms;
      } else if (other++ == 0) {
        first_other = config;
      }
    }
    char text[256];
    std::snprintf(text, sizeof text,
                  "bitrate %d, complexity %d, vbr %d; TOC config 0 (SILK-only NB 10 ms, one "
                  "frame) in %zu of %zu packets, NB bandwidth in %zu; others %zu (first config "
                  "%d)",
                  bitrate, complexity, vbr, silk_nb_10ms, packets, narrowband, other, first_other);
    return text;
  }

 private:
  OpusEncoder* enc_ = nullptr;
  OpusDecoder* dec_ = nullptr;
};

class SpeexNb8 {
 public:
  static constexpr const char* kName = "speex_nb8";
  static constexpr int kFrameSamples = 160;
  static constexpr int kMaxPacket = 200;

  SpeexNb8() {
    enc_ = speex_encoder_init(&speex_nb_mode);
    dec_ = speex_decoder_init(&speex_nb_mode);
    if (enc_ == nullptr || dec_ == nullptr) fail("speex: init");
    int bitrate = 8000;
    speex_encoder_ctl(enc_, SPEEX_SET_BITRATE, &bitrate);
    int frame = 0;
    speex_encoder_ctl(enc_, SPEEX_GET_FRAME_SIZE, &frame);
    if (frame != kFrameSamples) fail("speex: frame size");
    speex_bits_init(&enc_bits_);
    speex_bits_init(&dec_bits_);
  }
  ~SpeexNb8() {
    speex_bits_destroy(&enc_bits_);
    speex_bits_destroy(&dec_bits_);
    speex_encoder_destroy(enc_);
    speex_decoder_destroy(dec_);
  }
  SpeexNb8(const SpeexNb8&) = delete;
  SpeexNb8& operator=(const SpeexNb8&) = delete;

  // The library takes the samples through a non-const pointer: it gets a
  // copy, so the input stays the same for every codec and repetition.
  std::size_t encode(const std::int16_t* pcm, std::uint8_t* packet) {
    std::memcpy(in_.data(), pcm, sizeof in_);
    speex_bits_reset(&enc_bits_);
    speex_encode_int(enc_, in_.data(), &enc_bits_);
    const int n = speex_bits_write(&enc_bits_, reinterpret_cast<char*>(packet), kMaxPacket);
    if (n < 1) fail("speex: encode");
    return static_cast<std::size_t>(n);
  }
  void decode(const std::uint8_t* packet, std::size_t bytes, std::int16_t* pcm) {
    speex_bits_read_from(&dec_bits_, reinterpret_cast<const char*>(packet),
                         static_cast<int>(bytes));
    if (speex_decode_int(dec_, &dec_bits_, pcm) != 0) fail("speex: decode");
  }
  std::string settings(const Bitstream&) const {
    int bitrate = 0, complexity = 0, vbr = 0, enhancer = 0;
    speex_encoder_ctl(enc_, SPEEX_GET_BITRATE, &bitrate);
    speex_encoder_ctl(enc_, SPEEX_GET_COMPLEXITY, &complexity);
    speex_encoder_ctl(enc_, SPEEX_GET_VBR, &vbr);
    speex_decoder_ctl(dec_, SPEEX_GET_ENH, &enhancer);
    char text[160];
    std::snprintf(text, sizeof text, "bitrate %d, complexity %d, vbr %d; decoder enhancer %d",
                  bitrate, complexity, vbr, enhancer);
    return text;
  }

 private:
  void* enc_ = nullptr;
  void* dec_ = nullptr;
  SpeexBits enc_bits_;
  SpeexBits dec_bits_;
  std::array<spx_int16_t, kFrameSamples> in_;
};

class Gsm610 {
 public:
  static constexpr const char* kName = "gsm610";
  static constexpr int kFrameSamples = 160;
  static constexpr int kMaxPacket = sizeof(gsm_frame);

  Gsm610() : enc_(gsm_create()), dec_(gsm_create()) {
    if (enc_ == nullptr || dec_ == nullptr) fail("gsm: create");
  }
  ~Gsm610() {
    gsm_destroy(enc_);
    gsm_destroy(dec_);
  }
  Gsm610(const Gsm610&) = delete;
  Gsm610& operator=(const Gsm610&) = delete;

  // A copy of the input, as for Speex: the library's pointer is not const.
  std::size_t encode(const std::int16_t* pcm, std::uint8_t* packet) {
    std::memcpy(in_.data(), pcm, sizeof in_);
    gsm_encode(enc_, in_.data(), packet);
    return kMaxPacket;
  }
  void decode(const std::uint8_t* packet, std::size_t bytes, std::int16_t* pcm) {
    if (bytes != static_cast<std::size_t>(kMaxPacket)) fail("gsm: frame length");
    std::memcpy(frame_, packet, sizeof frame_);
    if (gsm_decode(dec_, frame_, pcm) != 0) fail("gsm: decode");
  }
  std::string settings(const Bitstream&) const {
    char text[96];
    std::snprintf(text, sizeof text, "fast %d, ltp cut %d (-1: not built in)",
                  gsm_option(enc_, GSM_OPT_FAST, nullptr),
                  gsm_option(enc_, GSM_OPT_LTP_CUT, nullptr));
    return text;
  }

 private:
  gsm enc_;
  gsm dec_;
  std::array<gsm_signal, kFrameSamples> in_;
  gsm_frame frame_;
};

// 10 ms units in a sample.
inline std::size_t tens_of_ms(const std::vector<std::int16_t>& pcm) {
  return pcm.size() / 80;
}

// The whole sample, frame by frame. Kept out of line so that callgrind
// counts each codec and direction on its own.
template <class Codec>
[[gnu::noinline]] void encode_sample(Codec& codec, const std::vector<std::int16_t>& pcm,
                                     Bitstream& out) {
  std::array<std::uint8_t, Codec::kMaxPacket> packet;
  out.bytes.clear();
  out.offsets.assign(1, 0);
  for (std::size_t pos = 0; pos + Codec::kFrameSamples <= pcm.size(); pos += Codec::kFrameSamples) {
    const std::size_t n = codec.encode(&pcm[pos], packet.data());
    out.bytes.insert(out.bytes.end(), packet.begin(), packet.begin() + n);
    out.offsets.push_back(out.bytes.size());
  }
}

template <class Codec>
[[gnu::noinline]] void decode_sample(Codec& codec, const Bitstream& in,
                                     std::vector<std::int16_t>& pcm) {
  const std::size_t packets = in.offsets.size() - 1;
  pcm.resize(packets * Codec::kFrameSamples);
  for (std::size_t i = 0; i < packets; ++i) {
    codec.decode(&in.bytes[in.offsets[i]], in.offsets[i + 1] - in.offsets[i],
                 &pcm[i * Codec::kFrameSamples]);
  }
}

}  // namespace peer
