// POSIX side of FileHeldForWriting: an open descriptor, which keeps no other
// program from opening the file.
#include "tests/support/Files.h"

#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>

namespace test_support {

FileHeldForWriting::FileHeldForWriting(const std::filesystem::path& path)
    : handle_(::open(path.c_str(), O_WRONLY | O_CLOEXEC)) {
    if (handle_ < 0) throw std::runtime_error("cannot open " + path.string() + " for writing");
}

FileHeldForWriting::~FileHeldForWriting() { ::close(static_cast<int>(handle_)); }

}  // namespace test_support
