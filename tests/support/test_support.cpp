#include "support/test_support.h"

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>

namespace testsupport {

std::string shared_dir() {
  return G729A_TEST_DATA_DIR;
}

bool shared_available() {
  struct stat st {};
  return stat((shared_dir() + "/testvectors").c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         stat((shared_dir() + "/golden").c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot read " << path;
    return {};
  }
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::int16_t> read_pcm(const std::string& path) {
  const auto bytes = read_file(path);
  std::vector<std::int16_t> pcm(bytes.size() / 2);
  for (std::size_t i = 0; i < pcm.size(); ++i) {
    pcm[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
  return pcm;
}

standin::Module& module() {
  static std::unique_ptr<standin::Module> loaded = [] {
    std::string error;
    auto m = standin::Module::open(standin::default_module_path(), error);
    if (!m) {
      std::fprintf(stderr, "cannot load the codec module: %s\n", error.c_str());
      std::abort();
    }
    return m;
  }();
  return *loaded;
}

TranslatorDescriptor* encoder_translator() {
  module();
  return standin::find_translator("lintog729");
}

TranslatorDescriptor* decoder_translator() {
  module();
  return standin::find_translator("g729tolin");
}

}  // namespace testsupport
