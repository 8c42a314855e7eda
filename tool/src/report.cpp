#include "report.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace g729tool {
namespace {

bool quiet_flag = false;
bool verbose_flag = false;
std::mutex output_mutex;
bool bar_visible = false;  // guarded by output_mutex
std::atomic<bool> file_progress_allowed{true};

void clear_bar_locked() {
  if (bar_visible) {
    std::fputs("\r\033[K", stderr);
    bar_visible = false;
  }
}

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

}  // namespace

void set_verbosity(int level) {
  quiet_flag = level < 0;
  verbose_flag = level > 0;
}
bool verbose() {
  return verbose_flag;
}

std::string count_of(long count, const std::string& singular, const std::string& plural) {
  return std::to_string(count) + " " + (count == 1 ? singular : plural);
}
void set_file_progress_allowed(bool allowed) {
  file_progress_allowed = allowed;
}

void print_error(const std::string& message) {
  std::lock_guard lock(output_mutex);
  clear_bar_locked();
  std::fprintf(stderr, "g729a: %s\n", message.c_str());
}

void print_note(const std::string& message) {
  if (quiet_flag) return;
  std::lock_guard lock(output_mutex);
  clear_bar_locked();
  std::fprintf(stderr, "g729a: %s\n", message.c_str());
}

void print_result(const std::string& line) {
  if (quiet_flag) return;
  std::lock_guard lock(output_mutex);
  clear_bar_locked();
  std::fprintf(stdout, "%s\n", line.c_str());
  std::fflush(stdout);
}

void print_summary(const std::string& line) {
  print_note(line);
}

namespace {

// "; 2 concealed, 3 comfort noise" once anything was missing.
std::string filled_text(const FrameCounts& counts) {
  std::string text;
  if (counts.silent + counts.erased > 0) {
    text = "; " + std::to_string(counts.concealed) + " concealed, " +
           std::to_string(counts.comfort_noise) + " comfort noise";
  }
  if (counts.late_packets + counts.duplicate_packets > 0) {
    text += "; " + count_of(counts.late_packets, "late packet", "late packets") + " used, " +
            count_of(counts.duplicate_packets, "duplicate", "duplicates") + " dropped";
  }
  return text;
}

}  // namespace

std::string summary_text(const FrameCounts& counts, double elapsed_seconds) {
  const double duration = static_cast<double>(counts.samples) / kSampleRate;
  const double kbits = duration > 0 ? counts.payload_bytes * 8.0 / duration / 1000.0 : 0.0;
  std::string text =
      std::to_string(counts.frames()) + " frames (" + std::to_string(counts.speech) + " speech, " +
      std::to_string(counts.sid) + " SID, " + std::to_string(counts.silent) + " silent, " +
      std::to_string(counts.erased) + " erased" + filled_text(counts) + "), " + fixed(duration, 2) +
      " s of audio, " + fixed(kbits, 2) + " kbit/s, " + fixed(elapsed_seconds, 2) + " s taken, ";
  if (elapsed_seconds > 0 && duration > 0) {
    text += fixed(duration / elapsed_seconds, 0) + "x real time";
  } else {
    text += "instant";
  }
  return text;
}

Progress::Progress(std::string label, double total_units, double threshold_units)
    : label_(std::move(label)),
      total_(total_units),
      enabled_(!quiet_flag && file_progress_allowed && total_units >= threshold_units &&
               total_units > 0 && isatty(STDERR_FILENO) == 1) {}

Progress::~Progress() {
  if (!enabled_) return;
  std::lock_guard lock(output_mutex);
  clear_bar_locked();
}

void Progress::advance(double units) {
  if (!enabled_) return;
  std::lock_guard own(mutex_);
  done_ += units;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_draw_ < std::chrono::milliseconds(100) && done_ < total_) return;
  last_draw_ = now;
  const double fraction = done_ >= total_ ? 1.0 : done_ / total_;
  constexpr int kWidth = 30;
  const int filled = static_cast<int>(fraction * kWidth);
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.resize(kWidth, '.');
  std::lock_guard lock(output_mutex);
  std::fprintf(stderr, "\r\033[K%s [%s] %3d%%", label_.c_str(), bar.c_str(),
               static_cast<int>(fraction * 100));
  std::fflush(stderr);
  bar_visible = true;
}

}  // namespace g729tool
