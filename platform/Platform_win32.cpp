// The platform layer on Windows. Paths and console text are wide text
// throughout, as the system takes them; this file and MachineSettings_win32.cpp
// are the only ones that include <windows.h>.
#include "platform/Platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>

namespace platform {
namespace {

// Characters in the buffer the current directory is read into, terminator
// included.
constexpr DWORD kCurrentDirectoryCharacters = 260;

// ReadFile and WriteFile move at most this many bytes per call.
constexpr std::size_t kMaxTransfer = 0xFFFFFFFF;

// Waits, in milliseconds, before each further try of a backup copy that
// another process holds open: a concurrent run copying the same file, or a
// scanner looking at it. About two seconds in all, then the copy fails.
constexpr DWORD kCopyRetryWaits[] = {10, 20, 40, 80, 160, 320, 640, 1000};

HANDLE NativeHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file.value); }

FileHandle HandleOf(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return FileHandle{};
    return FileHandle{reinterpret_cast<std::intptr_t>(handle)};
}

DWORD ChunkOf(std::size_t remaining) { return static_cast<DWORD>(std::min(remaining, kMaxTransfer)); }

bool IsHeldByAnotherProcess(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

bool CopyOnce(const std::wstring& source, const std::wstring& destination) {
    return ::CopyFileW(source.c_str(), destination.c_str(), FALSE) != FALSE;
}

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

FileHandle OpenFileForReading(const std::wstring& path) {
    // Without backup semantics a directory does not open.
    return HandleOf(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
}

FileHandle CreateFileForWriting(const std::wstring& path) {
    return HandleOf(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
}

bool QueryFileSize(FileHandle file, std::uint64_t& size) {
    DWORD high = 0;
    // A low part of all ones is a valid size too; only the error code tells.
    ::SetLastError(NO_ERROR);
    const DWORD low = ::GetFileSize(NativeHandle(file), &high);
    if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) return false;
    size = (std::uint64_t{high} << 32) | low;
    return true;
}

bool ReadFromFile(FileHandle file, void* buffer, std::size_t count, std::size_t& bytesRead) {
    auto* bytes = static_cast<char*>(buffer);
    bytesRead = 0;
    while (bytesRead < count) {
        DWORD got = 0;
        if (!::ReadFile(NativeHandle(file), bytes + bytesRead, ChunkOf(count - bytesRead), &got, nullptr)) {
            return false;
        }
        if (got == 0) return true;
        bytesRead += got;
    }
    return true;
}

bool WriteToFile(FileHandle file, const void* buffer, std::size_t count, std::size_t& bytesWritten,
                 std::int32_t& errorCode) {
    const auto* bytes = static_cast<const char*>(buffer);
    bytesWritten = 0;
    while (bytesWritten < count) {
        DWORD put = 0;
        if (!::WriteFile(NativeHandle(file), bytes + bytesWritten, ChunkOf(count - bytesWritten), &put, nullptr)) {
            errorCode = static_cast<std::int32_t>(::GetLastError());
            return false;
        }
        if (put == 0) return true;
        bytesWritten += put;
    }
    return true;
}

void CloseFile(FileHandle file) {
    if (file.IsOpen()) ::CloseHandle(NativeHandle(file));
}

// A copy that finds the source or the backup held open by another process
// (ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION) tries again after a growing
// wait; any other failure fails at once.
bool CopyFileReplacing(const std::wstring& source, const std::wstring& destination) {
    for (const DWORD wait : kCopyRetryWaits) {
        if (CopyOnce(source, destination)) return true;
        if (!IsHeldByAnotherProcess(::GetLastError())) return false;
        ::Sleep(wait);
    }
    return CopyOnce(source, destination);
}

}  // namespace platform
