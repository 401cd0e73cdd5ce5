// What the launcher needs from the system beyond the tool's platform layer:
// where its own file is, and to become another program.
#pragma once

#include <span>
#include <string>

namespace launcher {

// The folder that holds the launcher's own executable file, with symbolic
// links resolved; false when it cannot be found.
bool ReadOwnFolder(std::wstring& folder);

// Replaces this process with program, given arguments (arguments[0] included).
// Returns only when that fails.
void ReplaceProcess(const std::wstring& program, std::span<const std::wstring> arguments);

}  // namespace launcher
