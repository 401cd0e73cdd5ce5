#include "tests/support/PrintedText.h"

#include "tests/support/ProcessRunner.h"

namespace test_support {

std::string AsPrinted(const std::string& text) {
    std::string printed;
    printed.reserve(text.size());
    for (const char character : text) {
        if (character == '\n') {
            printed += kTextLineEnd;
        } else {
            printed += character;
        }
    }
    return printed;
}

}  // namespace test_support
