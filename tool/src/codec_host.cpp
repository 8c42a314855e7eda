#include "codec_host.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "report.h"
#include "tool_error.h"

namespace g729tool {
namespace {

thread_local LogCapture* active_capture = nullptr;

constexpr const char* kModuleFile = "codec_g729a.so";
#ifdef G729A_MODULE_FROM_BIN
constexpr const char* kModuleFromBin = G729A_MODULE_FROM_BIN;
#else
constexpr const char* kModuleFromBin = "../lib/corvane/modules";
#endif

std::string trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace

std::vector<std::string> module_candidates(const std::string& exe_dir) {
  const std::filesystem::path dir(exe_dir);
  std::vector<std::string> candidates{(dir / kModuleFile).string()};
  const std::filesystem::path installed(kModuleFromBin);
  candidates.push_back(((installed.is_absolute() ? installed : dir / installed) / kModuleFile)
                           .lexically_normal()
                           .string());
  return candidates;
}

std::string default_module_path() {
  if (const char* env = std::getenv("G729A_MODULE"); env && *env) return env;
  std::error_code error;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return std::string("./") + kModuleFile;
  const auto candidates = module_candidates(exe.parent_path().string());
  for (const auto& path : candidates) {
    if (std::filesystem::exists(path, error)) return path;
  }
  return candidates.front();
}

CodecModule open_codec_module(const std::string& path) {
  CodecModule codec;
  std::string error;
  codec.module = standin::Module::open(path, error);
  if (!codec.module) {
    throw ToolError(kExitBadInput, path + ": cannot load the codec module: " + error);
  }
  if (codec.module->load_result() != 0) {
    throw ToolError(kExitBadInput, path + ": the codec module failed to load (result " +
                                       std::to_string(codec.module->load_result()) + ")");
  }
  codec.erased = reinterpret_cast<MissingFrameFn>(codec.module->symbol("g729tolin_erased"));
  codec.untransmitted =
      reinterpret_cast<MissingFrameFn>(codec.module->symbol("g729tolin_untransmitted"));
  codec.encoder = standin::find_translator("lintog729");
  codec.decoder = standin::find_translator("g729tolin");
  if (!codec.encoder || !codec.decoder) {
    throw ToolError(kExitBadInput,
                    path + ": the module does not offer the lintog729 and g729tolin translators");
  }
  return codec;
}

void install_log_sink() {
  standin::set_log_sink([](const standin::LogRecord& record) {
    if (active_capture) {
      active_capture->add(trimmed(record.message));
    } else {
      std::fprintf(stderr, "g729a: codec module: %s\n", trimmed(record.message).c_str());
    }
  });
}

LogCapture::LogCapture() : previous_(active_capture) {
  active_capture = this;
}
LogCapture::~LogCapture() {
  active_capture = previous_;
}

void LogCapture::add(const std::string& message) {
  if (!text_.empty()) text_ += "; ";
  text_ += message;
}

std::string LogCapture::take() {
  // The stand-in also keeps every record; the sink has them already.
  standin::take_log();
  std::string text;
  text.swap(text_);
  return text;
}

FrameCounts& FrameCounts::operator+=(const FrameCounts& other) {
  speech += other.speech;
  sid += other.sid;
  silent += other.silent;
  erased += other.erased;
  concealed += other.concealed;
  comfort_noise += other.comfort_noise;
  late_packets += other.late_packets;
  duplicate_packets += other.duplicate_packets;
  samples += other.samples;
  payload_bytes += other.payload_bytes;
  return *this;
}

EncodeStream::EncodeStream(const CodecModule& codec) : channel_(codec.encoder) {}

void EncodeStream::feed(std::span<const std::int16_t> pcm, std::vector<std::uint8_t>& frames) {
  LogCapture log;
  const std::size_t before = frames.size();
  if (channel_.feed_pcm(pcm, frames) != 0) {
    throw ToolError(kExitBadInput, "the encoder refused audio: " + log.take());
  }
  const long made = static_cast<long>((frames.size() - before) / kSpeechFrameBytes);
  counts_.speech += made;
  counts_.samples += made * kFrameSamples;
  counts_.payload_bytes += static_cast<long>(frames.size() - before);
}

void EncodeStream::push(std::span<const std::int16_t> pcm, std::vector<std::uint8_t>& frames) {
  // 20 ms at a time, as a switch delivers audio.
  constexpr std::size_t kChunk = 2 * kFrameSamples;
  while (!pcm.empty()) {
    const std::size_t take = std::min(kChunk - pending_.size(), pcm.size());
    pending_.insert(pending_.end(), pcm.begin(), pcm.begin() + static_cast<std::ptrdiff_t>(take));
    pcm = pcm.subspan(take);
    if (pending_.size() == kChunk) {
      feed(pending_, frames);
      pending_.clear();
    }
  }
}

void EncodeStream::finish(std::vector<std::uint8_t>& frames) {
  const std::size_t whole = pending_.size() - pending_.size() % kFrameSamples;
  if (whole > 0) feed(std::span(pending_).first(whole), frames);
  if (whole < pending_.size()) {
    std::array<std::int16_t, kFrameSamples> last{};
    std::copy(pending_.begin() + static_cast<std::ptrdiff_t>(whole), pending_.end(), last.begin());
    feed(last, frames);
  }
  pending_.clear();
}

std::vector<std::uint8_t> encode_pcm(const CodecModule& codec, std::span<const std::int16_t> pcm,
                                     FrameCounts& counts, Progress* progress) {
  EncodeStream stream(codec);
  std::vector<std::uint8_t> encoded;
  encoded.reserve((pcm.size() / kFrameSamples + 1) * kSpeechFrameBytes);
  constexpr std::size_t kBlock = 8000;
  for (std::size_t pos = 0; pos < pcm.size(); pos += kBlock) {
    const std::size_t n = std::min(kBlock, pcm.size() - pos);
    stream.push(pcm.subspan(pos, n), encoded);
    if (progress) progress->advance(static_cast<double>(n));
  }
  stream.finish(encoded);
  counts += stream.counts();
  return encoded;
}

DecodeStream::DecodeStream(const CodecModule& codec, bool conceal)
    : channel_(codec.decoder),
      erased_(conceal ? codec.erased : nullptr),
      untransmitted_(conceal ? codec.untransmitted : nullptr) {}

bool DecodeStream::decode_payload(std::span<const std::uint8_t> payload, std::string& error) {
  LogCapture log;
  const std::size_t before = output_.size();
  const int result = channel_.feed_payload(payload, output_);
  const long produced = static_cast<long>(output_.size() - before);
  const long frames = produced / kFrameSamples;
  // A SID frame can only be the last one, and only when the whole payload went through.
  const bool sid = result == 0 && payload.size() % kSpeechFrameBytes == kSidFrameBytes;
  counts_.sid += sid ? 1 : 0;
  counts_.speech += frames - (sid ? 1 : 0);
  if (frames > 0) after_sid_ = sid;
  counts_.samples += produced;
  counts_.payload_bytes +=
      std::min<long>(static_cast<long>(payload.size()),
                     (frames - (sid ? 1 : 0)) * kSpeechFrameBytes + (sid ? kSidFrameBytes : 0));
  flush();
  if (result == 0) return true;
  error = log.take();
  if (error.empty()) error = "the decoder refused the payload";
  return false;
}

bool DecodeStream::missing_frame(MissingFrameFn fn) {
  LogCapture log;  // a refusal falls back to zeros; its line is not news
  const std::size_t before = output_.size();
  const int result = fn(channel_.instance());
  while (HostFrame* frame = channel_.frameout()) {
    const auto* samples = static_cast<const std::int16_t*>(frame->payload);
    output_.insert(output_.end(), samples, samples + frame->samples);
  }
  if (result == 0 && output_.size() == before + kFrameSamples) return true;
  output_.resize(before);
  return false;
}

void DecodeStream::fill_missing(long samples, Missing why) {
  if (samples <= 0) return;
  const long frames = (samples + kFrameSamples - 1) / kFrameSamples;
  (why == Missing::Lost ? counts_.erased : counts_.silent) += frames;
  counts_.samples += samples;
  for (long left = samples; left > 0; left -= kFrameSamples) {
    // The codec's rules: after a SID frame or comfort noise a lost frame
    // counts as untransmitted and the noise goes on; after speech either kind
    // is concealed (a gap's SID frame was lost).
    const bool noise = after_sid_;
    const MissingFrameFn fn = noise ? untransmitted_ : erased_;
    const auto start = flushed_ + static_cast<long>(output_.size());
    if (left >= kFrameSamples && fn && missing_frame(fn)) {
      if (noise && !sink_) comfort_noise_starts_.push_back(start);
      ++(noise ? counts_.comfort_noise : counts_.concealed);
      after_sid_ = noise;
    } else {
      output_.insert(output_.end(), static_cast<std::size_t>(std::min<long>(left, kFrameSamples)),
                     0);
    }
    // A long gap goes out as it is filled.
    if (output_.size() >= static_cast<std::size_t>(kSampleRate)) flush();
  }
  flush();
}

void DecodeStream::flush() {
  if (!sink_ || output_.empty()) return;
  sink_(output_);
  flushed_ += static_cast<long>(output_.size());
  output_.clear();
}

}  // namespace g729tool
