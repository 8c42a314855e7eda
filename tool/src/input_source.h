// An input file, or standard input for "-": read in order, with the first
// bytes kept so a non-seekable input's format can be told from its content
// and a reader may go back over them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace g729tool {

class InputSource {
 public:
  // Throws ToolError for a missing or unreadable file and for a directory.
  explicit InputSource(const std::string& path);
  ~InputSource();
  InputSource(const InputSource&) = delete;
  InputSource& operator=(const InputSource&) = delete;

  // What notes call it: the path, "standard input" for "-".
  const std::string& label() const { return label_; }
  bool seekable() const { return seekable_; }
  // Bytes in the file, -1 when not known (a pipe).
  long long size() const { return size_; }
  // Up to `count` bytes from the start, without consuming them.
  std::span<const std::uint8_t> head(std::size_t count);

  // Fills `data` from the current position; returns the bytes read, 0 at the end.
  std::size_t read(std::span<std::uint8_t> data);
  long long tell() const { return position_; }
  // Seekable inputs go anywhere; others forwards, or back within what is kept.
  // Returns false when that is not possible.
  bool seek(long long offset);
  // A stdio stream over this input for libraries that read from FILE*;
  // owned by the caller.
  std::FILE* open_stream();

 private:
  std::size_t read_fd(std::uint8_t* data, std::size_t count);

  std::string label_;
  int fd_ = -1;
  bool own_fd_ = false;
  bool seekable_ = false;
  long long size_ = -1;
  long long position_ = 0;
  long long fd_position_ = 0;
  // Non-seekable inputs keep their first bytes (up to kKept).
  std::vector<std::uint8_t> kept_;
  bool keeping_ = true;
};

// "-" names standard input or output.
inline bool is_standard_stream(const std::string& path) {
  return path == "-";
}

inline constexpr const char* kStandardInputLabel = "standard input";
inline bool is_standard_stream_label(const std::string& label) {
  return label == kStandardInputLabel;
}

}  // namespace g729tool
