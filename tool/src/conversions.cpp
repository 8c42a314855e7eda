#include "conversions.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <optional>

#include "audio_file.h"
#include "g729a/codec.h"
#include "itu_serial.h"
#include "measures.h"
#include "output_file.h"
#include "report.h"
#include "tool_error.h"

namespace g729tool {
namespace {

// Jobs shorter than this many frames (30 s) get no progress bar.
constexpr double kProgressFrames = 3000;

void decode_serial(const std::string& in, DecodeStream& stream) {
  const auto data = read_whole_file(in);
  std::vector<g729io::SerialFrame> frames;
  std::string error;
  if (!g729io::parse_serial(data, frames, error)) throw bad_input(in, error);
  if (frames.empty()) throw bad_input(in, "empty bitstream, no frames");
  Progress progress("decoding " + in, static_cast<double>(frames.size()), kProgressFrames);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const auto& frame = frames[i];
    progress.advance(1);
    switch (frame.kind) {
      case g729io::SerialFrameKind::Speech:
      case g729io::SerialFrameKind::Sid:
        // Each frame is its own payload, as a switch would receive it.
        if (!stream.decode_payload(frame.bytes, error)) {
          throw bad_input(in, "frame " + std::to_string(i + 1) + ": " + error);
        }
        break;
      case g729io::SerialFrameKind::Untransmitted:
        stream.fill_missing(kFrameSamples, Missing::NotSent);
        break;
      case g729io::SerialFrameKind::Erased:
        stream.fill_missing(kFrameSamples, Missing::Lost);
        break;
    }
  }
}

// Two frames per payload, as 20 ms RTP packets carry them; a trailing SID
// frame joins the last payload, where the decoder recognises it.
void decode_frame_run(const std::string& label, std::span<const std::uint8_t> data,
                      DecodeStream& stream) {
  Progress progress("decoding " + label, static_cast<double>(data.size() / kSpeechFrameBytes),
                    kProgressFrames);
  constexpr std::size_t kPayload = 2 * kSpeechFrameBytes;
  std::size_t pos = 0;
  std::string error;
  while (pos < data.size()) {
    std::size_t n = std::min(kPayload, data.size() - pos);
    if (data.size() - pos - n == kSidFrameBytes) n += kSidFrameBytes;
    if (!stream.decode_payload(data.subspan(pos, n), error)) {
      throw bad_input(label, "bytes " + std::to_string(pos) + ".." + std::to_string(pos + n - 1) +
                                 ": " + error);
    }
    progress.advance(static_cast<double>(n / kSpeechFrameBytes));
    pos += n;
  }
}

void decode_frames(const std::string& in, DecodeStream& stream) {
  const auto data = read_whole_file(in);
  if (data.empty()) throw bad_input(in, "empty file, no frames");
  const std::size_t tail = data.size() % kSpeechFrameBytes;
  if (tail != 0 && tail != kSidFrameBytes) {
    throw bad_input(in, "truncated: " + std::to_string(tail) +
                            " bytes at the end are not a whole 10-byte frame");
  }
  decode_frame_run(in, data, stream);
}

bool is_capture_name(const std::string& path) {
  const std::string ext = extension_of(path);
  return ext == ".pcap" || ext == ".pcapng" || ext == ".cap";
}

}  // namespace

bool is_encoded_output(const std::string& path) {
  const std::string ext = extension_of(path);
  return ext == ".g729" || ext == ".bit";
}

void write_encoded(const std::string& path, std::span<const std::uint8_t> frames) {
  OutputFile out(path);
  write_encoded(out, frames);
  out.commit();
}

void write_encoded(OutputFile& out, std::span<const std::uint8_t> frames) {
  if (extension_of(out.path()) == ".bit") {
    std::vector<std::uint8_t> serial;
    serial.reserve(frames.size() / kSpeechFrameBytes * 164);
    for (std::size_t pos = 0; pos + kSpeechFrameBytes <= frames.size(); pos += kSpeechFrameBytes) {
      g729io::append_serial_frame(frames.subspan(pos, kSpeechFrameBytes), serial);
    }
    out.write(serial);
  } else {
    out.write(frames);
  }
}

FrameCounts encode_file(const CodecModule& codec, const std::string& in, const std::string& out) {
  if (!is_encoded_output(out)) {
    throw usage_error(out + ": unknown output format '" + extension_of(out) +
                      "' (use .g729 or .bit)");
  }
  const AudioInput audio = read_audio(in);
  if (!audio.conversion.empty()) print_note(in + ": " + audio.conversion);
  if (!audio.cut_short.empty()) print_error("warning: " + in + ": " + audio.cut_short);
  if (audio.samples.empty()) throw bad_input(in, "no audio samples");
  FrameCounts counts;
  Progress progress("encoding " + in, static_cast<double>(audio.samples.size()),
                    kProgressFrames * kFrameSamples);
  const auto frames = encode_pcm(codec, audio.samples, counts, &progress);
  write_encoded(out, frames);
  return counts;
}

void decode_into(const std::string& in, const CaptureOptions& capture, DecodeStream& stream) {
  const std::string ext = extension_of(in);
  // Frame files are taken by name: their first bytes are arbitrary.
  if (ext == ".bit") {
    decode_serial(in, stream);
  } else if (ext == ".g729") {
    decode_frames(in, stream);
  } else if (is_capture_name(in) || looks_like_capture(in)) {
    decode_capture(in, capture, stream);
  } else {
    throw usage_error(in + ": unknown input format '" + ext +
                      "' (use .g729, .bit, .pcap or .pcapng)");
  }
}

FrameCounts decode_file(const CodecModule& codec, const std::string& in, const std::string& out,
                        const CaptureOptions& capture, std::vector<std::int16_t>* decoded) {
  if (!out.empty() && !is_audio_output(out)) {
    throw usage_error(out + ": decoded audio goes to .wav or .raw, not '" + extension_of(out) +
                      "'");
  }
  DecodeStream stream(codec, capture.conceal);
  decode_into(in, capture, stream);
  if (!out.empty()) write_audio(out, stream.output());
  if (decoded) *decoded = std::move(stream.output());
  return stream.counts();
}

namespace {

std::vector<CapturedStream> g729_streams(const std::string& in, const CaptureOptions& capture) {
  std::vector<CapturedStream> found;
  for (auto& s : read_capture(in, capture)) {
    if (s.g729) found.push_back(std::move(s));
  }
  if (found.empty()) throw bad_input(in, "no G.729 RTP stream (see g729a streams)");
  return found;
}

std::string with_suffix(const std::string& path, const std::string& suffix) {
  const std::string ext = extension_of(path);
  return path.substr(0, path.size() - ext.size()) + suffix + path.substr(path.size() - ext.size());
}

}  // namespace

FrameCounts decode_all_streams(const CodecModule& codec, const std::string& in,
                               const std::string& out, const CaptureOptions& capture) {
  const auto streams = g729_streams(in, capture);
  std::map<std::uint32_t, int> seen;
  std::vector<std::unique_ptr<OutputFile>> files;
  FrameCounts total;
  for (const auto& s : streams) {
    const int n = ++seen[s.ssrc];
    const std::string name =
        with_suffix(out, "-" + hex32(s.ssrc) + (n > 1 ? "-" + std::to_string(n) : ""));
    DecodeStream stream(codec, capture.conceal);
    decode_stream(in + " (SSRC " + hex32(s.ssrc) + ")", s, stream);
    files.push_back(std::make_unique<OutputFile>(name));
    write_audio(*files.back(), stream.output());
    total += stream.counts();
    print_note(in + ": SSRC " + hex32(s.ssrc) + " " + s.source + " -> " + s.destination + " -> " +
               name);
  }
  std::vector<OutputFile*> all;
  for (auto& f : files) all.push_back(f.get());
  commit_all(all);
  return total;
}

FrameCounts decode_call(const CodecModule& codec, const std::string& in, const std::string& out,
                        const CaptureOptions& capture) {
  if (is_headerless_pcm(out)) throw usage_error(out + ": --call writes a stereo WAV");
  const auto streams = g729_streams(in, capture);
  const CapturedStream* first = nullptr;
  for (const auto& s : streams) {
    if (capture.ssrc && s.ssrc != *capture.ssrc) continue;
    if (!first || s.packets.size() > first->packets.size()) first = &s;
  }
  if (!first) throw bad_input(in, "no G.729 stream with SSRC " + hex32(*capture.ssrc));
  const CapturedStream* back = nullptr;
  for (const auto& s : streams) {
    if (s.source == first->destination && s.destination == first->source &&
        (!back || s.packets.size() > back->packets.size())) {
      back = &s;
    }
  }
  if (!back) {
    throw bad_input(in, "no G.729 stream from " + first->destination + " to " + first->source +
                            " answers SSRC " + hex32(first->ssrc));
  }
  auto start_of = [](const CapturedStream& s) {
    double t = s.packets.front().arrival;
    for (const auto& p : s.packets) t = std::min(t, p.arrival);
    return t;
  };
  if (start_of(*back) < start_of(*first)) std::swap(first, back);
  const double origin = start_of(*first);
  std::vector<std::int16_t> channels[2];
  FrameCounts total;
  const CapturedStream* sides[2] = {first, back};
  for (int c = 0; c < 2; ++c) {
    DecodeStream stream(codec, capture.conceal);
    decode_stream(in + " (SSRC " + hex32(sides[c]->ssrc) + ")", *sides[c], stream);
    const auto lead =
        static_cast<std::size_t>(std::lround((start_of(*sides[c]) - origin) * kSampleRate));
    channels[c].assign(lead, 0);
    channels[c].insert(channels[c].end(), stream.output().begin(), stream.output().end());
    total += stream.counts();
  }
  const std::size_t length = std::max(channels[0].size(), channels[1].size());
  std::vector<std::int16_t> stereo(2 * length, 0);
  for (int c = 0; c < 2; ++c) {
    for (std::size_t i = 0; i < channels[c].size(); ++i) stereo[2 * i + c] = channels[c][i];
  }
  print_note(in + ": left " + first->source + " -> " + first->destination + " (SSRC " +
             hex32(first->ssrc) + "), right " + back->source + " -> " + back->destination +
             " (SSRC " + hex32(back->ssrc) + ")");
  OutputFile file(out);
  write_audio(file, stereo, 2);
  file.commit();
  return total;
}

namespace {

// The encoder's pre-processing high-pass, rounded back to 16 bits: the part of
// the input the codec is meant to keep.
std::vector<std::int16_t> speech_band(std::span<const std::int16_t> pcm) {
  std::vector<double> signal(pcm.begin(), pcm.end());
  g729a::BiquadMemory memory{};
  g729a::encoder_preprocess(memory, signal);
  std::vector<std::int16_t> out(pcm.size());
  for (std::size_t n = 0; n < pcm.size(); ++n) {
    out[n] = static_cast<std::int16_t>(std::lround(std::clamp(signal[n], -32768.0, 32767.0)));
  }
  return out;
}

}  // namespace

std::string quality_text(const RoundTrip& trip) {
  char text[200];
  std::snprintf(text, sizeof text,
                "SNR %.2f dB, segmental SNR %.2f dB; speech band (input high-passed at 140 Hz as "
                "the encoder does): SNR %.2f dB, segmental SNR %.2f dB (output delayed by %d "
                "samples)",
                trip.snr_db, trip.segmental_snr_db, trip.band_snr_db, trip.band_segmental_snr_db,
                kCodecDelay);
  return text;
}

RoundTrip round_trip(const CodecModule& codec, std::span<const std::int16_t> input,
                     const std::string& label) {
  RoundTrip result;
  result.input.assign(input.begin(), input.end());
  {
    Progress progress("encoding " + label, static_cast<double>(input.size()),
                      kProgressFrames * kFrameSamples);
    result.frames = encode_pcm(codec, input, result.encoded, &progress);
  }
  DecodeStream stream(codec);
  decode_frame_run(label, result.frames, stream);
  result.output = std::move(stream.output());
  result.decoded = stream.counts();
  result.snr_db = snr_db(result.input, result.output, kCodecDelay);
  result.segmental_snr_db = segmental_snr_db(result.input, result.output, kCodecDelay);
  const auto band = speech_band(result.input);
  result.band_snr_db = snr_db(band, result.output, kCodecDelay);
  result.band_segmental_snr_db = segmental_snr_db(band, result.output, kCodecDelay);
  return result;
}

int run_roundtrip(const CodecModule& codec, const std::string& in, const std::string& out,
                  const std::string& bitstream) {
  Stopwatch clock;
  const AudioInput audio = read_audio(in);
  if (!audio.conversion.empty()) print_note(in + ": " + audio.conversion);
  if (!audio.cut_short.empty()) print_error("warning: " + in + ": " + audio.cut_short);
  if (audio.samples.empty()) throw bad_input(in, "no audio samples");
  const RoundTrip trip = round_trip(codec, audio.samples, in);
  // Both outputs or neither.
  OutputFile audio_out(out);
  std::optional<OutputFile> frames_out;
  if (!bitstream.empty()) frames_out.emplace(bitstream);
  write_audio(audio_out, trip.output);
  std::vector<OutputFile*> files{&audio_out};
  if (frames_out) {
    write_encoded(*frames_out, trip.frames);
    files.push_back(&*frames_out);
  }
  commit_all(files);
  print_result(in + ": " + quality_text(trip));
  print_result(in + " -> " + out + ": " + summary_text(trip.encoded, clock.seconds()));
  return kExitOk;
}

}  // namespace g729tool
