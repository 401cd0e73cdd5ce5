#pragma once

namespace app {

// Prints the tool's usage text: the four commands with their options.
void PrintUsage();

}  // namespace app
