// The subcommands: each adds its options to the parser and, once the command
// line is parsed, checks what needs no module and then runs.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>

#include "codec_host.h"

namespace g729tool {

// Options every command takes.
struct CommonOptions {
  std::string module_path;
  bool quiet = false;
  int verbose = 0;
};

void add_common(CLI::App& app, CommonOptions& common);

struct Command {
  CLI::App* app = nullptr;
  // Usage and destinations, checked before the module loads; throws ToolError.
  std::function<void()> prepare = [] {};
  // Null for a command that needs no module.
  std::function<int(const CodecModule&)> run;
  std::function<int()> run_without_module;
};

Command add_encode_command(CLI::App& app, CommonOptions& common);
Command add_decode_command(CLI::App& app, CommonOptions& common);
Command add_roundtrip_command(CLI::App& app, CommonOptions& common);
Command add_conformance_command(CLI::App& app, CommonOptions& common);
Command add_streams_command(CLI::App& app, CommonOptions& common);
Command add_bench_command(CLI::App& app, CommonOptions& common);
Command add_console_command(CLI::App& app, CommonOptions& common);
Command add_demo_command(CLI::App& app, CommonOptions& common);

}  // namespace g729tool
