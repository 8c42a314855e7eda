// The codec module as the tool uses it: loaded through the switch stand-in,
// driven only through its translators, one Channel per stream.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "g729a/frame_geometry.h"
#include "standin.h"

namespace g729tool {

inline constexpr int kFrameSamples = g729a::kFrameLength;
inline constexpr int kSpeechFrameBytes = 10;
inline constexpr int kSidFrameBytes = 2;
inline constexpr int kSampleRate = 8000;

class Progress;

// The module's entry points for frames that never arrived (codec_g729a.h):
// each appends 80 samples to a g729tolin instance's output buffer.
using MissingFrameFn = int (*)(TranslatorInstance*);

struct CodecModule {
  std::unique_ptr<standin::Module> module;
  TranslatorDescriptor* encoder = nullptr;  // lintog729
  TranslatorDescriptor* decoder = nullptr;  // g729tolin
  MissingFrameFn erased = nullptr;          // g729tolin_erased, null when not exported
  MissingFrameFn untransmitted = nullptr;   // g729tolin_untransmitted, likewise
};

// Where the module may be, in the order tried: beside the executable (a build
// tree or a copied tool), then the module folder of the tree the executable
// is installed in (the build's module folder, relative to the tool's folder).
std::vector<std::string> module_candidates(const std::string& exe_dir);
// $G729A_MODULE, else the first candidate that exists, else the first
// candidate (so the error names it). --module overrides all of these.
std::string default_module_path();
// Throws ToolError when the module cannot be loaded or lacks a translator.
CodecModule open_codec_module(const std::string& path);

// Routes the module's log lines: to the LogCapture active on the calling
// thread, otherwise to stderr in readable form.
void install_log_sink();

// Collects what the module logs on this thread while it exists.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
  // The messages since the last call, joined by "; ", without newlines.
  std::string take();
  void add(const std::string& message);

 private:
  LogCapture* previous_;
  std::string text_;
};

struct FrameCounts {
  long speech = 0;
  long sid = 0;
  long silent = 0;  // carried nothing (untransmitted, silence suppression)
  long erased = 0;  // damaged or lost
  // How the silent and erased frames were filled; the rest are zeros.
  long concealed = 0;      // by the decoder's concealment
  long comfort_noise = 0;  // by the decoder's comfort noise
  // Capture packets used out of arrival order, and repeats dropped.
  long late_packets = 0;
  long duplicate_packets = 0;
  long samples = 0;
  long payload_bytes = 0;

  long frames() const { return speech + sid + silent + erased; }
  FrameCounts& operator+=(const FrameCounts& other);
};

// Audio through one lintog729 channel as it comes, 20 ms at a time as a
// switch delivers it.
class EncodeStream {
 public:
  explicit EncodeStream(const CodecModule& codec);
  // Appends the frames the samples complete to `frames`.
  void push(std::span<const std::int16_t> pcm, std::vector<std::uint8_t>& frames);
  // A last partial frame is completed with silence so no input is lost.
  void finish(std::vector<std::uint8_t>& frames);
  const FrameCounts& counts() const { return counts_; }

 private:
  void feed(std::span<const std::int16_t> pcm, std::vector<std::uint8_t>& frames);

  standin::Channel channel_;
  std::vector<std::int16_t> pending_;  // less than 20 ms
  FrameCounts counts_;
};

// Whole file through one lintog729 channel. A trailing partial frame is
// completed with silence so no input is lost.
// in: pcm; out: concatenated 10-byte frames; inout: counts, progress
// (advanced by samples, may be null).
std::vector<std::uint8_t> encode_pcm(const CodecModule& codec, std::span<const std::int16_t> pcm,
                                     FrameCounts& counts, Progress* progress);

// Why frames are missing from the timeline.
enum class Missing {
  Lost,     // expected but lost or damaged: as NotSent after a SID, else concealed
  NotSent,  // nothing was sent (DTX): comfort noise after a SID, else concealed
};

// One g729tolin channel and the decoded timeline.
class DecodeStream {
 public:
  // conceal: fill missing frames through the module's entry points (zeros
  // when false, or when the module lacks them).
  explicit DecodeStream(const CodecModule& codec, bool conceal = true);

  // One payload as the switch delivers it. Returns false when the module
  // refused part of it; `error` then holds the reason. Frames decoded before
  // the refusal stay in the output.
  bool decode_payload(std::span<const std::uint8_t> payload, std::string& error);
  // Audio standing for `samples` that never arrived: whole frames from the
  // module, a remainder of less than a frame as zeros.
  void fill_missing(long samples, Missing why);
  // Counts what putting a capture's packets in order found.
  void note_reordering(long late, long duplicates) {
    counts_.late_packets += late;
    counts_.duplicate_packets += duplicates;
  }

  // Decoded audio goes to `sink` as it is produced instead of output().
  void set_sink(std::function<void(std::span<const std::int16_t>)> sink) {
    sink_ = std::move(sink);
  }

  const std::vector<std::int16_t>& output() const { return output_; }
  std::vector<std::int16_t>& output() { return output_; }
  const FrameCounts& counts() const { return counts_; }
  // Where each comfort-noise frame starts in output(), in samples (kept
  // only without a sink).
  const std::vector<long>& comfort_noise_starts() const { return comfort_noise_starts_; }

 private:
  // One frame through `fn`; false (nothing added) when it refused.
  bool missing_frame(MissingFrameFn fn);
  // Hands output() to the sink, if there is one.
  void flush();

  standin::Channel channel_;
  MissingFrameFn erased_ = nullptr;
  MissingFrameFn untransmitted_ = nullptr;
  bool after_sid_ = false;  // the last frame was a SID or comfort noise
  std::vector<std::int16_t> output_;
  std::vector<long> comfort_noise_starts_;
  FrameCounts counts_;
  std::function<void(std::span<const std::int16_t>)> sink_;
  long flushed_ = 0;  // samples handed to the sink
};

}  // namespace g729tool
