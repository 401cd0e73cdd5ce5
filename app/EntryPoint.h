#pragma once

#include <span>
#include <string>

namespace app {

// Runs one command from the command line (arguments[0] is the tool's own path)
// and returns the exit code: 0 when the command succeeded, 1 otherwise.
int RunTool(std::span<const std::wstring> arguments);

}  // namespace app
