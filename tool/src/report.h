// What the user sees on stderr: notes, errors, the progress bar (terminal
// only) and the closing summary line. Safe to call from worker threads.
#pragma once

#include <chrono>
#include <mutex>
#include <string>

#include "codec_host.h"

namespace g729tool {

// Set once from the command line: -1 errors only (-q), 0 notes once per
// kind with counts, 1 every packet event (-v).
void set_verbosity(int level);
bool verbose();

// "1 packet", "2 packets": a count and its noun, plural when not one.
std::string count_of(long count, const std::string& singular, const std::string& plural);

void print_error(const std::string& message);  // always shown
void print_note(const std::string& message);   // hidden by --quiet
void print_result(const std::string& line);    // stdout, hidden by --quiet
// A conversion's summary: stderr, so standard output carries only data;
// hidden by --quiet.
void print_summary(const std::string& line);

// "1875 frames (1873 speech, 1 SID, 1 silent, 0 erased; 1 concealed, 0
//  comfort noise), 18.75 s, 8.0 kbit/s, 0.21 s, 89x real time"; the part after
//  the semicolon only when frames were missing.
std::string summary_text(const FrameCounts& counts, double elapsed_seconds);

class Stopwatch {
 public:
  double seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// A bar on stderr, drawn only when stderr is a terminal, --quiet is off and
// the job is long enough to be worth one.
// Off while a batch shows its own bar over files.
void set_file_progress_allowed(bool allowed);

class Progress {
 public:
  Progress(std::string label, double total_units, double threshold_units);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  void advance(double units);  // adds to the work done so far

 private:
  std::string label_;
  double total_;
  double done_ = 0;
  bool enabled_;
  std::mutex mutex_;
  std::chrono::steady_clock::time_point last_draw_{};
};

}  // namespace g729tool
