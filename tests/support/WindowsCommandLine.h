// A Windows command line is one text; a program's start-up splits it into
// arguments. Used by the process harnesses on Windows only.
#pragma once

#include <string>

namespace test_support {

// One argument quoted so that the C runtime's start-up splits it back as it
// was: in quotes when it holds a blank or a quote.
std::wstring QuoteArgument(const std::wstring& argument);

}  // namespace test_support
