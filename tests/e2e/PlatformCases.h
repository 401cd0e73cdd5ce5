// Rows of the shared tables that only one platform can run. Each function is
// defined once per platform, in the _posix or _win32 part of its test file,
// and builds its rows when called.
#pragma once

#include <vector>

#include "tests/e2e/ToolCase.h"

namespace e2e {

std::vector<ToolCase> PlatformArgumentMapCases();
std::vector<ToolCase> PlatformGetFileCases();

}  // namespace e2e
