#include "conversions.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <optional>

#include "audio_file.h"
#include "g729a/codec.h"
#include "input_source.h"
#include "itu_serial.h"
#include "measures.h"
#include "output_file.h"
#include "report.h"
#include "tool_error.h"

namespace g729tool {
namespace {

// Jobs shorter than this many frames (30 s) get no progress bar.
constexpr double kProgressFrames = 3000;
// Bytes read from an input at a time.
constexpr std::size_t kReadBlock = 1 << 16;

// Frames as .g729 holds them go to the decoder two per payload, as 20 ms RTP
// packets carry them; a trailing SID frame joins the last payload, where the
// decoder recognises it. Bytes go on as they arrive; only the last few wait
// for the end.
class FramePayloads {
 public:
  FramePayloads(std::string label, DecodeStream& stream)
      : label_(std::move(label)), stream_(stream) {}

  void push(std::span<const std::uint8_t> bytes) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    std::size_t pos = 0;
    // More than a payload and a SID frame: this payload is not the last.
    while (buffer_.size() - pos > kPayload + kSidFrameBytes) {
      decode(std::span(buffer_).subspan(pos, kPayload));
      pos += kPayload;
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(pos));
  }

  // The rest; returns a warning when the data ends inside a frame.
  std::string finish() {
    const long long total = offset_ + static_cast<long long>(buffer_.size());
    std::string warning;
    const auto tail = static_cast<std::size_t>(total % kSpeechFrameBytes);
    if (tail != 0 && tail != kSidFrameBytes) {
      const long long stop = total - static_cast<long long>(tail);
      warning = "the file ends " + std::to_string(tail) + " bytes into a 10-byte frame at byte " +
                std::to_string(stop) + "; the " + std::to_string(stop / kSpeechFrameBytes) +
                " whole frames before it are decoded";
      buffer_.resize(buffer_.size() - tail);
    }
    std::size_t pos = 0;
    while (pos < buffer_.size()) {
      std::size_t n = std::min(kPayload, buffer_.size() - pos);
      if (buffer_.size() - pos - n == kSidFrameBytes) n += kSidFrameBytes;
      decode(std::span(buffer_).subspan(pos, n));
      pos += n;
    }
    buffer_.clear();
    return warning;
  }

 private:
  static constexpr std::size_t kPayload = 2 * kSpeechFrameBytes;

  void decode(std::span<const std::uint8_t> payload) {
    std::string error;
    if (!stream_.decode_payload(payload, error)) {
      throw bad_input(
          label_, "bytes " + std::to_string(offset_) + ".." +
                      std::to_string(offset_ + static_cast<long long>(payload.size()) - 1) + ": " +
                      error);
    }
    offset_ += static_cast<long long>(payload.size());
  }

  std::string label_;
  DecodeStream& stream_;
  std::vector<std::uint8_t> buffer_;
  long long offset_ = 0;  // of buffer_'s first byte in the input
};

// Progress over an input's bytes; none for a pipe, whose length is unknown.
Progress input_progress(const std::string& what, const InputSource& source, double threshold) {
  return Progress(what + " " + source.label(),
                  source.size() > 0 ? static_cast<double>(source.size()) : 0.0, threshold);
}

void decode_frames(InputSource& source, DecodeStream& stream) {
  Progress progress = input_progress("decoding", source, kProgressFrames * kSpeechFrameBytes);
  FramePayloads payloads(source.label(), stream);
  std::vector<std::uint8_t> block(kReadBlock);
  long long total = 0;
  while (const std::size_t n = source.read(block)) {
    payloads.push(std::span(block).first(n));
    progress.advance(static_cast<double>(n));
    total += static_cast<long long>(n);
  }
  if (total == 0) throw bad_input(source.label(), "empty file, no frames");
  if (total < kSpeechFrameBytes && total != kSidFrameBytes) {
    throw bad_input(source.label(),
                    "only " + std::to_string(total) + " bytes, not even one 10-byte frame");
  }
  const std::string warning = payloads.finish();
  if (!warning.empty()) print_error("warning: " + source.label() + ": " + warning);
}

void decode_serial_frames(const std::string& label, std::span<const std::uint8_t> data,
                          long& frame_number, DecodeStream& stream) {
  std::vector<g729io::SerialFrame> frames;
  std::string error;
  if (!g729io::parse_serial(data, frames, error)) throw bad_input(label, error);
  for (const auto& frame : frames) {
    ++frame_number;
    switch (frame.kind) {
      case g729io::SerialFrameKind::Speech:
      case g729io::SerialFrameKind::Sid:
        // Each frame is its own payload, as a switch would receive it.
        if (!stream.decode_payload(frame.bytes, error)) {
          throw bad_input(label, "frame " + std::to_string(frame_number) + ": " + error);
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

void decode_serial(InputSource& source, DecodeStream& stream) {
  // A frame's sync and length words, then one word per bit; no frame is
  // longer than this.
  constexpr std::size_t kLongestFrame = 4 + 2 * 160;
  Progress progress = input_progress("decoding", source, kProgressFrames * 164);
  std::vector<std::uint8_t> buffer, block(kReadBlock);
  long frame_number = 0;
  long long total = 0;
  while (const std::size_t n = source.read(block)) {
    total += static_cast<long long>(n);
    progress.advance(static_cast<double>(n));
    buffer.insert(buffer.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n));
    // The whole frames so far; a length word no frame has goes to the
    // parser at once, which names it.
    std::size_t whole = 0;
    while (buffer.size() - whole >= 4) {
      const std::size_t length =
          4 + 2 * static_cast<std::size_t>(buffer[whole + 2] | (buffer[whole + 3] << 8));
      if (length > kLongestFrame) {
        whole = buffer.size();
        break;
      }
      if (buffer.size() - whole < length) break;
      whole += length;
    }
    decode_serial_frames(source.label(), std::span(buffer).first(whole), frame_number, stream);
    buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(whole));
  }
  if (total == 0) throw bad_input(source.label(), "empty file, no frames");
  if (!buffer.empty()) decode_serial_frames(source.label(), buffer, frame_number, stream);
}

bool is_capture_name(const std::string& path) {
  const std::string ext = extension_of(path);
  return ext == ".pcap" || ext == ".pcapng" || ext == ".cap";
}

// ITU serial frames start with the sync word 0x6B21 and a length word of 80
// (speech), 16 (SID) or 0.
bool looks_like_serial(std::span<const std::uint8_t> head) {
  if (head.size() < 4 || head[0] != 0x21 || head[1] != 0x6B || head[3] != 0) return false;
  return head[2] == 80 || head[2] == 16 || head[2] == 0;
}

enum class FrameInput { Frames, Serial, Capture };

// The decoder input's format: -t, else the name of a file, else (standard
// input, pipes, files without a known name) the content.
FrameInput frame_input_kind(InputSource& source, const std::string& type) {
  if (type == "g729") return FrameInput::Frames;
  if (type == "bit") return FrameInput::Serial;
  if (type == "pcap" || type == "pcapng") return FrameInput::Capture;
  const std::string& label = source.label();
  if (source.size() == 0 || source.head(1).empty()) {
    throw bad_input(label, "empty file, no frames");
  }
  const bool named = source.seekable() && !is_standard_stream_label(label);
  if (named) {
    const std::string ext = extension_of(label);
    // Frame files are taken by name: their first bytes are arbitrary.
    if (ext == ".bit") return FrameInput::Serial;
    if (ext == ".g729") return FrameInput::Frames;
    if (is_capture_name(label)) return FrameInput::Capture;
  }
  const auto head = source.head(4);
  if (looks_like_capture(head)) return FrameInput::Capture;
  if (!named) return looks_like_serial(head) ? FrameInput::Serial : FrameInput::Frames;
  throw usage_error(label + ": unknown input format '" + extension_of(label) +
                    "' (use .g729, .bit, .pcap or .pcapng, or -t TYPE before it)");
}

void decode_source(InputSource& source, const std::string& type, const CaptureOptions& capture,
                   DecodeStream& stream) {
  switch (frame_input_kind(source, type)) {
    case FrameInput::Serial:
      decode_serial(source, stream);
      break;
    case FrameInput::Frames:
      decode_frames(source, stream);
      break;
    case FrameInput::Capture:
      decode_capture(source, capture, stream);
      break;
  }
}

// Encoded frames written as they come: .g729 as they are, .bit in serial form.
class FrameWriter {
 public:
  FrameWriter(OutputFile& out, bool serial) : out_(out), serial_(serial) {}
  void write(std::span<const std::uint8_t> frames) {
    if (!serial_) {
      out_.write(frames);
      return;
    }
    serial_bytes_.clear();
    for (std::size_t pos = 0; pos + kSpeechFrameBytes <= frames.size(); pos += kSpeechFrameBytes) {
      g729io::append_serial_frame(frames.subspan(pos, kSpeechFrameBytes), serial_bytes_);
    }
    out_.write(serial_bytes_);
  }

 private:
  OutputFile& out_;
  bool serial_;
  std::vector<std::uint8_t> serial_bytes_;
};

// Headerless PCM: -t raw, a .raw/.pcm/.sln name, or standard input and
// pipes that do not start like an audio file.
bool headerless_input(const Conversion& conversion, InputSource& source) {
  const std::string& type = conversion.in_type;
  if (!type.empty()) return type == "raw" || type == "pcm" || type == "sln";
  if (is_headerless_pcm(conversion.in)) return true;
  const bool named = source.seekable() && !is_standard_stream_label(source.label());
  return !named && !looks_like_audio_file(source.head(4));
}

void report_audio_input(const InputSource& source, const AudioReader& reader) {
  if (const std::string conversion = reader.conversion(); !conversion.empty()) {
    print_note(source.label() + ": " + conversion);
  }
  if (!reader.cut_short().empty()) {
    print_error("warning: " + source.label() + ": " + reader.cut_short());
  }
}

// Hands `each` every block of the input's audio, moving `progress` on by the
// bytes read; an input without samples is refused.
template <typename Each>
void read_audio(InputSource& source, AudioReader& reader, Progress& progress, Each each) {
  std::vector<std::int16_t> block;
  long long read = source.tell();
  long samples = 0;
  while (reader.read(block)) {
    samples += static_cast<long>(block.size());
    each(block);
    progress.advance(static_cast<double>(source.tell() - read));
    read = source.tell();
  }
  if (samples == 0) throw bad_input(source.label(), "no audio samples");
}

}  // namespace

bool is_encoded_output(const std::string& path) {
  const std::string ext = extension_of(path);
  return ext == ".g729" || ext == ".bit";
}

void write_encoded(OutputFile& out, std::span<const std::uint8_t> frames, bool serial) {
  FrameWriter(out, serial).write(frames);
}

FrameCounts encode_file(const CodecModule& codec, const Conversion& conversion) {
  InputSource source(conversion.in);
  AudioReader reader(source, headerless_input(conversion, source));
  OutputFile out(conversion.out);
  FrameWriter writer(out, conversion.out_type == "bit");
  EncodeStream encoder(codec);
  Progress progress = input_progress("encoding", source, kProgressFrames * kFrameSamples * 2);
  std::vector<std::uint8_t> frames;
  read_audio(source, reader, progress, [&](const std::vector<std::int16_t>& block) {
    frames.clear();
    encoder.push(block, frames);
    writer.write(frames);
  });
  frames.clear();
  encoder.finish(frames);
  writer.write(frames);
  report_audio_input(source, reader);
  out.commit();
  return encoder.counts();
}

void decode_into(const std::string& in, const CaptureOptions& capture, DecodeStream& stream) {
  InputSource source(in);
  decode_source(source, "", capture, stream);
}

FrameCounts decode_file(const CodecModule& codec, const Conversion& conversion,
                        const CaptureOptions& capture) {
  InputSource source(conversion.in);
  // The input's format is settled before an output is opened.
  if (conversion.in_type.empty()) frame_input_kind(source, "");
  OutputFile out(conversion.out);
  AudioWriter writer(out, conversion.out_type == "raw");
  DecodeStream stream(codec, capture.conceal);
  stream.set_sink([&](std::span<const std::int16_t> samples) { writer.write(samples); });
  decode_source(source, conversion.in_type, capture, stream);
  writer.finish();
  out.commit();
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

FrameCounts decode_all_streams(const CodecModule& codec, const Conversion& conversion,
                               const CaptureOptions& capture, std::string& written) {
  const std::string& in = conversion.in;
  const auto streams = g729_streams(in, capture);
  std::map<std::uint32_t, int> seen;
  std::vector<std::unique_ptr<OutputFile>> files;
  std::vector<std::string> notes;
  FrameCounts total;
  for (const auto& s : streams) {
    const int n = ++seen[s.ssrc];
    const std::string name =
        with_suffix(conversion.out, "-" + hex32(s.ssrc) + (n > 1 ? "-" + std::to_string(n) : ""));
    files.push_back(std::make_unique<OutputFile>(name));
    AudioWriter writer(*files.back(), conversion.out_type == "raw");
    DecodeStream stream(codec, capture.conceal);
    stream.set_sink([&](std::span<const std::int16_t> samples) { writer.write(samples); });
    decode_stream(in + " (SSRC " + hex32(s.ssrc) + ")", s, stream);
    writer.finish();
    total += stream.counts();
    notes.push_back(in + ": SSRC " + hex32(s.ssrc) + " " + s.source + " -> " + s.destination +
                    " -> " + name);
  }
  std::vector<OutputFile*> all;
  for (auto& f : files) all.push_back(f.get());
  commit_all(all);
  for (const auto& note : notes) print_note(note);
  written.clear();
  for (const auto& file : files) written += (written.empty() ? "" : ", ") + file->path();
  return total;
}

FrameCounts decode_call(const CodecModule& codec, const Conversion& conversion,
                        const CaptureOptions& capture) {
  const std::string& in = conversion.in;
  if (conversion.out_type == "raw")
    throw usage_error(conversion.out + ": --call writes a stereo WAV");
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
  auto start_of = [](const CapturedStream& s) {
    double t = s.packets.front().arrival;
    for (const auto& p : s.packets) t = std::min(t, p.arrival);
    return t;
  };
  if (back && start_of(*back) < start_of(*first)) std::swap(first, back);
  const double origin = start_of(*first);
  std::vector<std::int16_t> channels[2];
  FrameCounts total;
  const CapturedStream* sides[2] = {first, back};
  for (int c = 0; c < 2; ++c) {
    if (!sides[c]) continue;
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
  const std::string left =
      first->source + " -> " + first->destination + " (SSRC " + hex32(first->ssrc) + ")";
  if (back) {
    print_note(in + ": left " + left + ", right " + back->source + " -> " + back->destination +
               " (SSRC " + hex32(back->ssrc) + ")");
  } else {
    print_note(in + ": one-way call: left " + left + "; no G.729 stream from " +
               first->destination + " to " + first->source + ", so the right channel is silent");
  }
  OutputFile file(conversion.out);
  write_audio(file, stereo, 2);
  file.commit();
  // The call lasts as long as the stereo file, not the sum of its channels.
  total.samples = static_cast<long>(length);
  return total;
}

namespace {

// The encoder's pre-processing high-pass, rounded back to 16 bits: the part
// of the input the codec is meant to keep. Block by block, its memory kept.
class SpeechBand {
 public:
  void apply(std::span<const std::int16_t> pcm, std::vector<std::int16_t>& out) {
    signal_.assign(pcm.begin(), pcm.end());
    g729a::encoder_preprocess(memory_, signal_);
    out.resize(pcm.size());
    for (std::size_t n = 0; n < pcm.size(); ++n) {
      out[n] = static_cast<std::int16_t>(std::lround(std::clamp(signal_[n], -32768.0, 32767.0)));
    }
  }

 private:
  g729a::BiquadMemory memory_{};
  std::vector<double> signal_;
};

// Encoding and decoding as the audio comes, measuring output against input.
class RoundTripStream {
 public:
  RoundTripStream(const CodecModule& codec, const std::string& label)
      : encoder_(codec), decoder_(codec), payloads_(label, decoder_) {}

  // `frames` receives the encoder's output, `decoded` the decoder's.
  void push(std::span<const std::int16_t> pcm, std::vector<std::uint8_t>& frames) {
    whole_.add_reference(pcm);
    band_.apply(pcm, band_block_);
    band_meter_.add_reference(band_block_);
    const std::size_t before = frames.size();
    encoder_.push(pcm, frames);
    payloads_.push(std::span(frames).subspan(before));
  }
  void finish(std::vector<std::uint8_t>& frames) {
    const std::size_t before = frames.size();
    encoder_.finish(frames);
    payloads_.push(std::span(frames).subspan(before));
    payloads_.finish();
  }
  void set_sink(std::function<void(std::span<const std::int16_t>)> sink) {
    decoder_.set_sink([this, sink = std::move(sink)](std::span<const std::int16_t> samples) {
      whole_.add_test(samples);
      band_meter_.add_test(samples);
      sink(samples);
    });
  }
  void figures(RoundTrip& trip) const {
    trip.encoded = encoder_.counts();
    trip.decoded = decoder_.counts();
    trip.snr_db = whole_.snr_db();
    trip.segmental_snr_db = whole_.segmental_snr_db();
    trip.band_snr_db = band_meter_.snr_db();
    trip.band_segmental_snr_db = band_meter_.segmental_snr_db();
  }

 private:
  EncodeStream encoder_;
  DecodeStream decoder_;
  FramePayloads payloads_;
  QualityMeter whole_{kCodecDelay}, band_meter_{kCodecDelay};
  SpeechBand band_;
  std::vector<std::int16_t> band_block_;
};

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
  RoundTripStream trip(codec, label);
  trip.set_sink([&](std::span<const std::int16_t> samples) {
    result.output.insert(result.output.end(), samples.begin(), samples.end());
  });
  Progress progress("round trip of " + label, static_cast<double>(input.size()),
                    kProgressFrames * kFrameSamples);
  constexpr std::size_t kBlock = 8000;
  for (std::size_t pos = 0; pos < input.size(); pos += kBlock) {
    const std::size_t n = std::min(kBlock, input.size() - pos);
    trip.push(input.subspan(pos, n), result.frames);
    progress.advance(static_cast<double>(n));
  }
  trip.finish(result.frames);
  trip.figures(result);
  return result;
}

int run_roundtrip(const CodecModule& codec, const Conversion& conversion,
                  const std::string& bitstream, const std::string& bitstream_type) {
  Stopwatch clock;
  InputSource source(conversion.in);
  AudioReader reader(source, headerless_input(conversion, source));
  // Both outputs or neither.
  OutputFile audio_out(conversion.out);
  AudioWriter audio(audio_out, conversion.out_type == "raw");
  std::optional<OutputFile> frames_out;
  std::optional<FrameWriter> frame_writer;
  if (!bitstream.empty()) {
    frames_out.emplace(bitstream);
    frame_writer.emplace(*frames_out, bitstream_type == "bit");
  }
  RoundTripStream trip(codec, source.label());
  trip.set_sink([&](std::span<const std::int16_t> samples) { audio.write(samples); });
  Progress progress = input_progress("round trip of", source, kProgressFrames * kFrameSamples * 2);
  std::vector<std::uint8_t> frames;
  read_audio(source, reader, progress, [&](const std::vector<std::int16_t>& block) {
    frames.clear();
    trip.push(block, frames);
    if (frame_writer) frame_writer->write(frames);
  });
  frames.clear();
  trip.finish(frames);
  if (frame_writer) frame_writer->write(frames);
  audio.finish();
  report_audio_input(source, reader);
  std::vector<OutputFile*> files{&audio_out};
  if (frames_out) files.push_back(&*frames_out);
  commit_all(files);
  RoundTrip figures;
  trip.figures(figures);
  print_summary(source.label() + ": " + quality_text(figures));
  print_summary(source.label() + " -> " + conversion.out + ": " +
                summary_text(figures.encoded, clock.seconds()));
  return kExitOk;
}

}  // namespace g729tool
