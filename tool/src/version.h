// g729a --version: the tool's own version and the loaded module's.
#pragma once

#include <string>

namespace g729tool {

// Prints "g729a tool <version>", then "module: " and the version line of the
// module at `module_path` as its console command prints it. Throws ToolError when the
// module cannot be loaded (after the tool's own line).
int print_versions(const std::string& module_path);

}  // namespace g729tool
