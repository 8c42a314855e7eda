// g729a: command-line front end of the codec module.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "commands.h"
#include "demo.h"
#include "help_text.h"
#include "output_file.h"
#include "report.h"
#include "tool_error.h"
#include "version.h"

namespace g729tool {
namespace {

// The module reads G729A_SIMD itself and takes the best path for a name it
// does not know; the user hears of it here.
void warn_unknown_simd_path() {
  const char* path = std::getenv("G729A_SIMD");
  if (!path) return;
  const std::string name(path);
  if (name == "scalar" || name == "sse2" || name == "avx2") return;
  print_error("warning: G729A_SIMD=" + name +
              " is not a vector path (scalar, sse2 or avx2); the module takes the best the "
              "processor offers");
}

int run(int argc, char** argv) {
  CLI::App app(kMainDescription, "g729a");
  app.footer(kMainFooter);
  app.require_subcommand(0, 1);
  CommonOptions common;
  add_common(app, common);
  bool show_version = false;
  app.add_flag("--version", show_version, "Print the tool's version and the module's version line");
  const std::vector<Command> commands{
      add_encode_command(app, common),    add_decode_command(app, common),
      add_roundtrip_command(app, common), add_conformance_command(app, common),
      add_streams_command(app, common),   add_bench_command(app, common),
      add_console_command(app, common),   add_demo_command(app, common),
  };
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? kExitOk : kExitUsage;
  }
  set_verbosity(common.quiet ? -1 : common.verbose);

  for (const auto& command : commands) {
    if (*command.app && command.run_without_module) return command.run_without_module();
  }
  const bool any = std::any_of(commands.begin(), commands.end(),
                               [](const Command& command) { return bool(*command.app); });
  if (!any && !show_version) {
    std::fputs(app.help().c_str(), stdout);
    std::printf("\nTo hear the codec: g729a demo [DIR] (writes into %s/ unless DIR is given)\n",
                kDemoFolder);
    return kExitOk;
  }
  warn_unknown_simd_path();
  const std::string module_path =
      common.module_path.empty() ? default_module_path() : common.module_path;
  if (show_version) {
    install_log_sink();
    return print_versions(module_path);
  }
  const Command* chosen = nullptr;
  for (const auto& command : commands) {
    if (*command.app) chosen = &command;
  }
  // Everything that needs no module is checked before it loads.
  if (chosen) chosen->prepare();
  install_log_sink();
  const CodecModule codec = open_codec_module(module_path);
  return chosen->run(codec);
}

}  // namespace
}  // namespace g729tool

int main(int argc, char** argv) {
  g729tool::install_interrupt_cleanup();
  try {
    return g729tool::run(argc, argv);
  } catch (const g729tool::ToolError& error) {
    g729tool::print_error(error.what());
    return error.status;
  } catch (const std::exception& error) {
    g729tool::print_error(error.what());
    return g729tool::kExitBadInput;
  }
}
