#pragma once

#include <span>
#include <string>

namespace inspect {

// Lists, and with /verify:1 checks, the repository named on the command line
// (arguments[0] is the program's own path). Returns the exit code: 0 when the
// listing was printed and no problem was found, 1 otherwise.
int RunInspect(std::span<const std::wstring> arguments);

}  // namespace inspect
