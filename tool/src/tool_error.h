// Failures the tool reports to the user: one line and an exit status.
#pragma once

#include <stdexcept>
#include <string>

namespace g729tool {

enum ExitStatus : int { kExitOk = 0, kExitBadInput = 1, kExitUsage = 2 };

struct ToolError : std::runtime_error {
  ToolError(int status_in, const std::string& message)
      : std::runtime_error(message), status(status_in) {}
  int status;
};

// "FILE: reason" - the form of every input error.
inline ToolError bad_input(const std::string& file, const std::string& reason) {
  return ToolError(kExitBadInput, file + ": " + reason);
}

inline ToolError usage_error(const std::string& message) {
  return ToolError(kExitUsage, message);
}

}  // namespace g729tool
