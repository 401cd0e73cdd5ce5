// Expected output as a program prints it: the tests write texts with "\n",
// and a program's text-mode output ends its lines as the platform does.
#pragma once

#include <string>

namespace test_support {

// Text as a program prints it on this platform: each "\n" becomes the line end
// of text-mode output (kTextLineEnd: "\r\n" on Windows).
std::string AsPrinted(const std::string& text);

}  // namespace test_support
