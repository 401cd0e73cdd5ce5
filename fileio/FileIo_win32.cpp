// The single file calls on Windows. Paths are wide text, handed to the W
// calls as they are.
#include "fileio/WindowsHeaders.h"

#include "fileio/SingleCalls.h"

namespace fileio {
namespace {

// How many times a copy starts again because a concurrent copy to the same
// place took its temporary away before it could rename it.
constexpr int kCopyAttempts = 8;

// ERROR_DISK_QUOTA_EXCEEDED, which not every SDK's headers name.
constexpr DWORD kQuotaExceeded = 1295;

std::error_code Error(DWORD code) { return {static_cast<int>(code), std::system_category()}; }
std::error_code LastError() { return Error(::GetLastError()); }

HANDLE Native(File file) { return reinterpret_cast<HANDLE>(file.native); }

DWORD AccessRights(Access access) {
    switch (access) {
        case Access::Read: return GENERIC_READ;
        case Access::Write: return GENERIC_WRITE;
        case Access::ReadWrite: break;
    }
    return GENERIC_READ | GENERIC_WRITE;
}

DWORD CreationDisposition(Disposition disposition) {
    switch (disposition) {
        case Disposition::OpenExisting: return OPEN_EXISTING;
        case Disposition::CreateNew: return CREATE_NEW;
        case Disposition::OpenOrCreate: return OPEN_ALWAYS;
        case Disposition::CreateOrTruncate: break;
    }
    return CREATE_ALWAYS;
}

DWORD ShareMode(Sharing sharing) {
    return sharing == Sharing::Read ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
}

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

// The position to pass: none for a file's own position.
OVERLAPPED* Position(std::uint64_t offset, OVERLAPPED& at) {
    if (offset == kCurrentPosition) return nullptr;
    at = At(offset);
    return &at;
}

FileKind KindOf(HANDLE handle, DWORD attributes) {
    if (::GetFileType(handle) != FILE_TYPE_DISK) return FileKind::Other;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::Directory : FileKind::Regular;
}

bool IsMissing(DWORD code) { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; }

// Windows reports a path that runs through a file as it reports a missing
// folder (ERROR_PATH_NOT_FOUND); POSIX tells them apart (ENOTDIR), and so do
// the callers. The nearest existing folder above the path decides.
std::error_code MissingOrThroughAFile(const Path& path) {
    Path current = path.parent_path();
    while (!current.empty()) {
        const DWORD attributes = ::GetFileAttributesW(current.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return {};
            return Error(ERROR_DIRECTORY);
        }
        const Path parent = current.parent_path();
        if (parent == current) break;
        current = parent;
    }
    return {};
}

std::errc ErrcFor(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME: return std::errc::no_such_file_or_directory;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return std::errc::file_exists;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT: return std::errc::permission_denied;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return std::errc::device_or_resource_busy;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
        case kQuotaExceeded: return std::errc::no_space_on_device;
        case ERROR_FILENAME_EXCED_RANGE: return std::errc::filename_too_long;
        case ERROR_DIRECTORY: return std::errc::not_a_directory;
        case ERROR_DIR_NOT_EMPTY: return std::errc::directory_not_empty;
        case ERROR_INVALID_NAME: return std::errc::invalid_argument;
        case ERROR_TOO_MANY_LINKS: return std::errc::too_many_links;
        case ERROR_NOT_SAME_DEVICE: return std::errc::cross_device_link;
        case ERROR_NOT_SUPPORTED:
        case ERROR_INVALID_FUNCTION: return std::errc::not_supported;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return std::errc::not_enough_memory;
        default: return std::errc::io_error;
    }
}

std::error_code CopyOnce(const Path& source, const Path& destination) {
    return ::CopyFileW(source.c_str(), destination.c_str(), FALSE) ? std::error_code{} : LastError();
}

}  // namespace

Path PathFromWide(std::wstring_view text) { return Path(std::wstring(text)); }

std::wstring WideFromPath(const Path& path) { return path.native(); }

std::error_code Portable(std::error_code error) {
    // Errors that are errno values already (std::errc) pass unchanged.
    if (!error || error.category() == std::generic_category()) return error;
    return std::make_error_code(ErrcFor(static_cast<DWORD>(error.value())));
}

// Opened without access rights, which no other opener's sharing can refuse;
// the backup-semantics flag lets a folder be opened too.
std::error_code Status(const Path& path, FileStatus& status) {
    const HANDLE handle = ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        if (!IsMissing(code)) return Error(code);
        if (auto error = MissingOrThroughAFile(path)) return error;
        status = FileStatus{};
        return {};
    }
    const std::error_code error = Status(File{reinterpret_cast<std::intptr_t>(handle)}, status);
    ::CloseHandle(handle);
    return error;
}

std::error_code Status(File file, FileStatus& status) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(Native(file), &info)) {
        // Pipes and consoles have no file information; they are files of
        // another kind, of no known size.
        if (::GetFileType(Native(file)) == FILE_TYPE_DISK) return LastError();
        status = FileStatus{FileKind::Other, 0, 0, 0};
        return {};
    }
    status.kind = KindOf(Native(file), info.dwFileAttributes);
    status.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    status.device = info.dwVolumeSerialNumber;
    status.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return {};
}

// CopyFileW into the temporary, then one rename over the destination. Two
// copies to the same place at once may take turns on the temporary; one
// that finds it gone at its rename (the other renamed it) copies again.
std::error_code CopyReplacing(const Path& source, const Path& destination) {
    const Path temporary = CopyTemporaryName(destination);
    std::error_code error;
    for (int attempt = 0; attempt < kCopyAttempts; ++attempt) {
        error = RetryWhileHeldOpen(temporary, [&] { return CopyOnce(source, temporary); });
        if (error) return error;
        error = Rename(temporary, destination);
        if (!error) return {};
        if (!IsMissing(static_cast<DWORD>(error.value()))) break;
    }
    static_cast<void>(single::Remove(temporary));
    return error;
}

namespace single {

std::error_code Open(const Path& path, Access access, Disposition disposition, Sharing sharing, File& file) {
    const HANDLE handle = ::CreateFileW(path.c_str(), AccessRights(access), ShareMode(sharing), nullptr,
                                        CreationDisposition(disposition), FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastError();
    file.native = reinterpret_cast<std::intptr_t>(handle);
    return {};
}

std::error_code Close(File file) { return ::CloseHandle(Native(file)) ? std::error_code{} : LastError(); }

// The end of a file, or of a pipe whose writer closed it, reads as nothing.
std::error_code Read(File file, std::uint64_t offset, void* buffer, std::size_t size, std::size_t& got) {
    OVERLAPPED at{};
    DWORD count = 0;
    got = 0;
    if (!::ReadFile(Native(file), buffer, static_cast<DWORD>(size), &count, Position(offset, at))) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_HANDLE_EOF || code == ERROR_BROKEN_PIPE) return {};
        return Error(code);
    }
    got = count;
    return {};
}

std::error_code Write(File file, std::uint64_t offset, const void* buffer, std::size_t size, std::size_t& put) {
    OVERLAPPED at{};
    DWORD count = 0;
    put = 0;
    if (!::WriteFile(Native(file), buffer, static_cast<DWORD>(size), &count, Position(offset, at))) return LastError();
    put = count;
    return {};
}

// MoveFileExW, not ReplaceFileW: one documented failure of ReplaceFileW
// leaves the target gone. Write-through makes the move reach the disk before
// the call returns.
std::error_code Rename(const Path& from, const Path& to) {
    if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return {};
    return LastError();
}

std::error_code Remove(const Path& path) { return ::DeleteFileW(path.c_str()) ? std::error_code{} : LastError(); }

// Another program holds the file or the target open (a concurrent run, a
// scanner), or the target waits for its last handle to close after a
// delete. A read-only or folder target refuses for good.
bool HeldOpenElsewhere(std::error_code error, const Path& path) {
    const auto code = static_cast<DWORD>(error.value());
    if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) return true;
    if (code != ERROR_ACCESS_DENIED) return false;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    return (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

std::uint64_t ProcessId() { return ::GetCurrentProcessId(); }

}  // namespace single
}  // namespace fileio
