// Output files appear complete or not at all: data goes to a temporary file
// in the destination directory, which is renamed over the destination only
// once everything has been written. SIGINT, SIGTERM, SIGHUP and SIGPIPE
// remove pending temporaries before the process ends. Anything that is not a
// regular file ("-" for standard output, /dev/stdout, /dev/fd/N, a device, a
// FIFO) is written in place and never replaced.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace g729tool {

// Installs the signal handlers; call once before any output is opened.
void install_interrupt_cleanup();

class OutputFile {
 public:
  // Creates the temporary file next to `path`; throws ToolError when the
  // directory is not writable or the destination is write-protected.
  explicit OutputFile(std::string path);
  ~OutputFile();  // removes the temporary unless committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  // Written in place: no temporary.
  bool in_place() const { return in_place_; }
  // Where the output starts in its file when a header may be written again
  // there (a temporary, or standard output redirected to a regular file);
  // -1 for pipes and devices.
  long long rewrite_offset() const { return rewrite_offset_; }
  void write(std::span<const std::uint8_t> bytes);
  // Flushes and closes; the destination is untouched until commit().
  void finish();
  // finish() if not done yet, then renames over the destination.
  void commit();

 private:
  std::string path_;
  std::string temp_path_;
  int fd_ = -1;
  int slot_ = -1;
  bool committed_ = false;
  bool in_place_ = false;
  long long rewrite_offset_ = 0;
};

// True for "-", /dev/stdout, /dev/fd/N and anything that exists and is not a
// regular file: outputs written in place.
bool is_in_place_output(const std::string& path);

// Several outputs of one command appear all or none: every file is flushed
// before the first is renamed.
void commit_all(const std::vector<OutputFile*>& files);

// Refuses, before any work is done, an output that is the same file as an
// input or as another output (usage error): by device and inode, or by name
// while it does not exist yet; and (bad input) a folder that is missing or
// not writable, an output that is a folder, and a single output that is
// write-protected. In a batch (`batch`: its folder is created if missing) a
// write-protected destination is refused when its OutputFile is created, so
// the other files still convert.
void check_outputs(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs,
                   bool batch = false);

}  // namespace g729tool
