// The platform layer on POSIX systems. Paths are wide text inside the tool and
// become bytes again, through the reversible mapping, at every system call.
#include "platform/Platform.h"

#include <dlfcn.h>
#include <sys/mman.h>
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

// Advice covers whole huge pages (2 MiB on the machines that have them):
// only the part of the buffer that holds them is advised.
void AdviseLargePages(void* bytes, std::size_t size) {
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(bytes);
    const std::uintptr_t first = (begin + kHugePage - 1) / kHugePage * kHugePage;
    const std::uintptr_t end = (begin + size) / kHugePage * kHugePage;
    if (first >= end) return;
    static_cast<void>(::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE));
}

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
