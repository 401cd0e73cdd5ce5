// The platform layer on POSIX systems. Paths are wide text inside the tool and
// become bytes again, through the reversible mapping, at every system call.
#include "platform/Platform.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <vector>

#include "encoding/WideText.h"

namespace platform {
namespace {

std::string NativePath(const std::wstring& path) { return encoding::BytesFromWide(path); }

}  // namespace

const wchar_t kPathSeparator = L'/';

// Output is bytes through C stdio; nothing to prepare.
void PrepareConsoleOutput() {}

void PrintText(std::wstring_view text) { PrintUtf8(encoding::BytesFromWide(text)); }

void PrintUtf8(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

bool ReadCurrentDirectory(std::wstring& directory) {
    std::vector<char> buffer(PATH_MAX);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) return false;
        buffer.resize(buffer.size() * 2);
    }
    directory = encoding::WideFromBytes(buffer.data());
    return true;
}

bool ChangeCurrentDirectory(const std::wstring& directory) { return ::chdir(NativePath(directory).c_str()) == 0; }

bool IsRelativePath(std::wstring_view path) { return path.empty() || path.front() != L'/'; }

LibraryModule LoadLibraryFile(const std::wstring& path) {
    return ::dlopen(NativePath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* FindLibraryExport(LibraryModule module, const char* name) { return ::dlsym(module, name); }

void FreeLibraryFile(LibraryModule module) { ::dlclose(module); }

}  // namespace platform
