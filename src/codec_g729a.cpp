// Module entry: descriptor, lifecycle and console command.
#include "host/corvane.h"
#include "translators/translators.h"

namespace g729a {
namespace {

int load_module();
int reload_module();
int unload_module();
int show_g729_version(int fd, int argc, char* argv[]);

// The host fills in host_handle when the constructor registers the record.
ModuleDescriptor module_descriptor = {
    .host_handle = nullptr,
    .load = load_module,
    .reload = reload_module,
    .unload = unload_module,
    .name = "codec_g729a",
    .description = "Orvanta G.729 Annex A Codec (optimized for barcelona_32)",
    .flags = 2,
};

CliEntry version_command = {
    .words = {"g729", "show", "version"},
    .handler = show_g729_version,
    .summary = "Show G.729 Module Version",
    .usage =
        "Usage: show g729 version\n"
        "       Displays G.729 module version\n",
    .inuse = 0,
    .next = nullptr,
};

int show_g729_version(int fd, int argc, char* /*argv*/[]) {
  if (argc != 3) return CVN_CLI_SHOWUSAGE;
  cvn_cli(fd, "Orvanta G.729A Module Version 1.4_3.1.4 (optimized for barcelona_32)\n");
  return CVN_CLI_SUCCESS;
}

// The decoder goes first; if the host refuses it, the encoder is not offered.
int load_module() {
  cvn_cli_register(&version_command);
  const int refused =
      __cvn_register_translator(&g729tolin_descriptor, module_descriptor.host_handle);
  if (refused != 0) {
    cvn_unregister_translator(&g729tolin_descriptor);
    return refused;
  }
  return __cvn_register_translator(&lintog729_descriptor, module_descriptor.host_handle);
}

int reload_module() {
  return 0;
}

int unload_module() {
  int result = cvn_unregister_translator(&lintog729_descriptor);
  if (result == 0) result = cvn_unregister_translator(&g729tolin_descriptor);
  cvn_cli_unregister(&version_command);
  return result;
}

__attribute__((constructor)) void register_module() {
  cvn_module_register(&module_descriptor);
}

__attribute__((destructor)) void unregister_module() {
  cvn_module_unregister(&module_descriptor);
}

}  // namespace
}  // namespace g729a
