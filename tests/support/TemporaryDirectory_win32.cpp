// Windows side of TemporaryDirectory: a new folder below the user's
// temporary folder, named after the process and a count.
#include "tests/support/TemporaryDirectory.h"

#include "fileio/WindowsHeaders.h"

#include <stdexcept>
#include <string>
#include <system_error>

namespace test_support {
namespace {

std::filesystem::path CandidateName(unsigned attempt) {
    static unsigned count = 0;
    return std::filesystem::temp_directory_path() /
           ("zarnrepo-test-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++count) + "-" +
            std::to_string(attempt));
}

}  // namespace

TemporaryDirectory::TemporaryDirectory() {
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate = CandidateName(attempt);
        if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
            // Canonical, so that paths the tool reports back compare equal.
            path_ = std::filesystem::canonical(candidate);
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary directory");
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace test_support
