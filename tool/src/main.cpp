// g729a: command-line front end of the codec module.
#include <CLI/CLI.hpp>
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
      add_console_command(app, common),
  };
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? kExitOk : kExitUsage;
  }
  set_quiet(common.quiet);

  for (const auto& command : commands) {
    if (*command.app && command.run_without_module) return command.run_without_module();
  }
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
  return chosen ? chosen->run(codec) : run_demo(codec);
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
