// Output files appear complete or not at all: data goes to a temporary file
// in the destination directory, which is renamed over the destination only
// once everything has been written. SIGINT, SIGTERM, SIGHUP and SIGPIPE
// remove pending temporaries before the process ends.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace g729tool {

// Installs the signal handlers; call once before any output is opened.
void install_interrupt_cleanup();

class OutputFile {
 public:
  // Creates the temporary file next to `path`; throws ToolError when the
  // directory is not writable.
  explicit OutputFile(std::string path);
  ~OutputFile();  // removes the temporary unless committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  void write(std::span<const std::uint8_t> bytes);
  // Flushes, closes and renames over the destination.
  void commit();

 private:
  std::string path_;
  std::string temp_path_;
  int fd_ = -1;
  int slot_ = -1;
  bool committed_ = false;
};

}  // namespace g729tool
