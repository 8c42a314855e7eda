// Helpers of the module tests: a quiet, captured host log and a private copy
// of the module that can be loaded and unmapped while the shared one stays.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "standin.h"

namespace moduletest {

// Silences the host log for the test's lifetime; records stay available
// through standin::take_log().
class QuietLog {
 public:
  QuietLog() {
    standin::set_log_sink({});
    standin::take_log();
  }
  ~QuietLog() {
    standin::set_log_sink([](const standin::LogRecord& r) {
      std::fprintf(stderr, "%s\n", standin::format_log_line(r).c_str());
    });
  }
};

// A fresh copy of the module file under its own path: the dynamic loader
// maps it anew, so its constructor and destructor run inside the test.
class ModuleCopy {
 public:
  ModuleCopy() {
    char pattern[] = "/tmp/g729a_module_XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir) throw std::runtime_error("mkdtemp failed");
    dir_ = dir;
    path_ = dir_ / "codec_g729a_copy.so";
    std::filesystem::copy_file(standin::default_module_path(), path_);
  }
  ~ModuleCopy() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::string path() const { return path_.string(); }

  std::unique_ptr<standin::Module> open() const {
    std::string error;
    auto m = standin::Module::open(path(), error);
    EXPECT_TRUE(m) << error;
    return m;
  }

 private:
  std::filesystem::path dir_;
  std::filesystem::path path_;
};

inline bool is_registered(const TranslatorDescriptor* t) {
  for (const TranslatorDescriptor* r : standin::registered_translator_records()) {
    if (r == t) return true;
  }
  return false;
}

inline bool is_registered(const CliEntry* c) {
  for (const CliEntry* r : standin::registered_commands()) {
    if (r == c) return true;
  }
  return false;
}

// "operation name result" per host call, for comparing whole sequences.
inline std::vector<std::string> describe(const std::vector<standin::HostCall>& calls) {
  std::vector<std::string> out;
  for (const auto& c : calls) {
    out.push_back(c.operation + " " + c.name + " " + std::to_string(c.result));
  }
  return out;
}

}  // namespace moduletest
