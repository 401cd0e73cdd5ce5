// The platform layer on Windows. Paths and console text are wide text
// throughout, as the system takes them.
#include "platform/Platform.h"

#include "fileio/WindowsHeaders.h"
#include <fcntl.h>
#include <io.h>
#include <shlwapi.h>

#include <cstdio>
#include <cwchar>

namespace platform {
namespace {

// Characters in the buffer the current directory is read into, terminator
// included.
constexpr DWORD kCurrentDirectoryCharacters = 260;

}  // namespace

const wchar_t kPathSeparator = L'\\';

// Wide text goes out as UTF-8, so that every character prints whatever the
// code page; line ends stay CR LF (text mode). Should the mode not change, the
// output keeps the runtime's default encoding.
void PrepareConsoleOutput() { static_cast<void>(_setmode(_fileno(stdout), _O_U8TEXT)); }

// Each message reaches the standard output handle before the tool goes on, so
// that it keeps its place among what others write there: the repository
// library may print through a C runtime of its own, with its own buffer.
void PrintText(std::wstring_view text) {
    const std::wstring terminated(text);
    std::wprintf(L"%ls", terminated.c_str());
    std::fflush(stdout);
}

void PrintUtf8(std::string_view text) {
    if (text.empty()) return;
    const int size = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    PrintText(wide);
}

// Large pages need a privilege that users do not hold by default.
void AdviseLargePages(void*, std::size_t) {}

bool ReadCurrentDirectory(std::wstring& directory) {
    wchar_t buffer[kCurrentDirectoryCharacters] = {};
    const DWORD length = ::GetCurrentDirectoryW(kCurrentDirectoryCharacters, buffer);
    // A result at or above the buffer's size is the size it would need, and
    // nothing has been written: that directory cannot be read whole.
    if (length == 0 || length >= kCurrentDirectoryCharacters) return false;
    directory.assign(buffer, length);
    return true;
}

bool ChangeCurrentDirectory(const std::wstring& directory) {
    return ::SetCurrentDirectoryW(directory.c_str()) != FALSE;
}

bool IsRelativePath(std::wstring_view path) {
    const std::wstring terminated(path);
    return ::PathIsRelativeW(terminated.c_str()) != FALSE;
}

LibraryModule LoadLibraryFile(const std::wstring& path) {
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void* FindLibraryExport(LibraryModule module, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

void FreeLibraryFile(LibraryModule module) { ::FreeLibrary(static_cast<HMODULE>(module)); }

}  // namespace platform
