#include "streams.h"

#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>

#include "report.h"
#include "rtp_stream.h"
#include "tool_error.h"

namespace g729tool {
namespace {

// RTP clock of the audio payload types these captures carry.
constexpr int kClockRate = 8000;

std::string utc_text(double seconds) {
  if (seconds <= 0) return "unknown";
  const auto whole = static_cast<std::time_t>(seconds);
  std::tm tm{};
  gmtime_r(&whole, &tm);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%06.3fZ", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                tm.tm_sec + (seconds - static_cast<double>(whole)));
  return text;
}

StreamFigures figures_of(const CapturedStream& s) {
  std::vector<StreamPacket> packets;
  packets.reserve(s.packets.size());
  for (const auto& p : s.packets) {
    const std::size_t size = p.payload.size();
    const bool sid = s.g729 && size % kSpeechFrameBytes == kSidFrameBytes;
    const int frames = static_cast<int>(size / kSpeechFrameBytes) + (sid ? 1 : 0);
    packets.push_back({p.arrival, p.sequence, p.timestamp, sid, frames});
  }
  return stream_figures(packets, kClockRate);
}

std::string text_line(const std::string& file, const CapturedStream& s, const StreamFigures& f) {
  char text[512];
  const double lost_percent = f.expected > 0 ? 100.0 * f.lost / f.expected : 0.0;
  std::snprintf(text, sizeof text,
                "%s: SSRC %s %s -> %s PT %d %s, start %s, %.3f s, %ld packets, %ld expected, "
                "%ld lost (%.1f%%), %ld duplicates, %ld reordered, jitter mean %.2f ms max "
                "%.2f ms, %ld SID, %ld DTX gaps",
                file.c_str(), hex32(s.ssrc).c_str(), s.source.c_str(), s.destination.c_str(),
                s.payload_type, codec_name(s).c_str(), utc_text(f.start).c_str(), f.duration,
                f.packets, f.expected, f.lost, lost_percent, f.duplicates, f.reordered,
                f.mean_jitter_ms, f.max_jitter_ms, f.sid_packets, f.dtx_gaps);
  return text;
}

nlohmann::ordered_json json_object(const std::string& file, const CapturedStream& s,
                                   const StreamFigures& f) {
  const double lost_percent = f.expected > 0 ? 100.0 * f.lost / f.expected : 0.0;
  // File names need not be UTF-8; bytes that are not become U+FFFD.
  return {{"file", file},
          {"ssrc", s.ssrc},
          {"source", s.source},
          {"destination", s.destination},
          {"codec", codec_name(s)},
          {"g729", s.g729},
          {"payload_type", s.payload_type},
          {"start", f.start},
          {"duration_s", f.duration},
          {"packets", f.packets},
          {"expected", f.expected},
          {"lost", f.lost},
          {"lost_percent", lost_percent},
          {"duplicates", f.duplicates},
          {"reordered", f.reordered},
          {"jitter_mean_ms", f.mean_jitter_ms},
          {"jitter_max_ms", f.max_jitter_ms},
          {"sid_packets", f.sid_packets},
          {"dtx_gaps", f.dtx_gaps}};
}

}  // namespace

std::string codec_name(const CapturedStream& stream) {
  if (stream.g729) return stream.annexb.empty() ? "G.729" : "G.729 annexb=" + stream.annexb;
  switch (stream.payload_type) {
    case 0:
      return "PCMU";
    case 8:
      return "PCMA";
    case 9:
      return "G.722";
    case 13:
      return "CN";
    default:
      return stream.payload_type >= 96 ? "dynamic" : "other";
  }
}

int run_streams(const std::vector<std::string>& files, const CaptureOptions& options, bool json) {
  int status = kExitOk;
  auto objects = nlohmann::ordered_json::array();
  for (const auto& file : files) {
    try {
      const auto streams = read_capture(file, options);
      if (streams.empty() && !json) print_note(file + ": no RTP streams");
      for (const auto& s : streams) {
        const StreamFigures f = figures_of(s);
        if (json) {
          objects.push_back(json_object(file, s, f));
        } else {
          std::fprintf(stdout, "%s\n", text_line(file, s, f).c_str());
        }
      }
    } catch (const ToolError& error) {
      print_error(error.what());
      status = std::max(status, error.status);
    }
  }
  if (json) {
    const std::string text =
        objects.dump(1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    std::fprintf(stdout, "%s\n", text.c_str());
  }
  std::fflush(stdout);
  return status;
}

}  // namespace g729tool
