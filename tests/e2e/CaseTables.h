// The shared tables of end-to-end cases, for suites that run them another way
// (through the launcher). Each function is defined beside its own suite.
#pragma once

#include <vector>

#include "tests/e2e/ToolCase.h"

namespace e2e {

std::vector<ToolCase> EntryCases();
std::vector<ToolCase> ArgumentMapCases();
std::vector<ToolCase> OpenRepositoryCases();

}  // namespace e2e
