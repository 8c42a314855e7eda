#include "version.h"

#include <cstdio>

#include "codec_host.h"
#include "tool_error.h"

namespace g729tool {
namespace {

#ifdef G729A_TOOL_VERSION
constexpr const char* kToolVersion = G729A_TOOL_VERSION;
#else
constexpr const char* kToolVersion = "unknown";
#endif

}  // namespace

int print_versions(const std::string& module_path) {
  std::printf("g729a tool %s\n", kToolVersion);
  std::fflush(stdout);
  const CodecModule codec = open_codec_module(module_path);
  std::string line;
  if (standin::run_console({"g729", "show", "version"}, line) != 0) {
    throw ToolError(kExitBadInput, module_path + ": the module has no version command");
  }
  std::fputs(("module: " + line).c_str(), stdout);
  return kExitOk;
}

}  // namespace g729tool
