// POSIX side of TemporaryDirectory: mkdtemp below $TMPDIR or /tmp.
#include "tests/support/TemporaryDirectory.h"

#include <stdlib.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <system_error>

namespace test_support {

TemporaryDirectory::TemporaryDirectory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/zarnrepo-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + pattern);
    // Canonical, so that paths the tool reports back compare equal.
    path_ = std::filesystem::canonical(pattern);
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace test_support
