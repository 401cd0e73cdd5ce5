// Windows side of FileHeldForWriting: a handle with write access that shares
// reading only, as a program writing a file commonly opens it.
#include "tests/support/Files.h"

#include "fileio/WindowsHeaders.h"

#include <stdexcept>

#include "tests/support/Utf8Path.h"

namespace test_support {

FileHeldForWriting::FileHeldForWriting(const std::filesystem::path& path)
    : handle_(reinterpret_cast<std::intptr_t>(
          ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr))) {
    if (reinterpret_cast<HANDLE>(handle_) == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("cannot open " + Utf8FromPath(path) + " for writing");
    }
}

FileHeldForWriting::~FileHeldForWriting() { ::CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

}  // namespace test_support
