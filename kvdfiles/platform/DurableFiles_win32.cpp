// Windows implementation of the durable-file operations. This file alone
// includes <windows.h>. Paths are wide text, handed to the W calls as they
// are: the index stores UTF-16LE, so no name needs mapping on this system.
// Every call goes through the fault seam first, so tests can fail any one of
// them. System errors are reported as errno values, like the POSIX side.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// <windows.h> maps RemoveDirectory to RemoveDirectoryW; this file defines
// durable::RemoveDirectory and calls the W function by its own name.
#undef RemoveDirectory

#include <algorithm>
#include <cerrno>
#include <thread>

#include "kvdfiles/platform/DurableFiles.h"
#include "kvdfiles/platform/FaultInjection.h"

namespace kvd::durable {
namespace {

// ReadFile and WriteFile take a 32-bit count; stay well below it.
constexpr std::size_t kMaxChunk = std::size_t{1} << 30;
// The library's own files are opened so that other openers, and its own
// renames over them, are never refused while they are open.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The writers' lock is one byte far past anything the lock file will hold:
// Windows locks are mandatory, and the journal lives at the start of the file.
constexpr DWORD kLockOffsetHigh = 0x40000000;
// How long a replace that another program blocks is tried again, and the
// longest single wait between tries.
constexpr std::chrono::milliseconds kReplaceRetryLimit{5000};
constexpr std::chrono::milliseconds kLongestReplaceWait{250};

// ERROR_DISK_QUOTA_EXCEEDED, which not every SDK's headers name.
constexpr DWORD kQuotaExceeded = 1295;

std::error_code Error(std::errc value) { return std::make_error_code(value); }

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

std::error_code ErrorFrom(DWORD code) { return Error(ErrcFor(code)); }
std::error_code LastError() { return ErrorFrom(::GetLastError()); }

HANDLE Native(FileHandle file) { return reinterpret_cast<HANDLE>(file.native); }

// The injected error of this call of kind, if a test asked for one.
std::error_code Injected(IoKind kind) {
    const int error = faults::InjectedError(kind);
    return error != 0 ? std::error_code(error, std::generic_category()) : std::error_code{};
}

HANDLE OpenNative(const Path& path, DWORD access, DWORD disposition, DWORD flags) {
    return ::CreateFileW(path.c_str(), access, kShareAll, nullptr, disposition, flags, nullptr);
}

std::error_code OpenWith(const Path& path, DWORD access, DWORD disposition, FileHandle& file) {
    if (auto error = Injected(IoKind::Open)) return error;
    const HANDLE handle = OpenNative(path, access, disposition, FILE_ATTRIBUTE_NORMAL);
    if (handle == INVALID_HANDLE_VALUE) return LastError();
    file.native = reinterpret_cast<std::intptr_t>(handle);
    return {};
}

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

OVERLAPPED LockPosition() {
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    return at;
}


// A replace refused for a while only: another program holds the target or
// the source open (a backup copy in a concurrent run, a virus scanner), or
// the target waits for its last handle to close after a delete. A read-only
// or folder target refuses for good, so it is not waited for.
bool MayClearUp(DWORD code, const Path& target) {
    if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) return true;
    if (code != ERROR_ACCESS_DENIED) return false;
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    return (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

// MoveFileExW, not ReplaceFileW: one documented failure of ReplaceFileW
// leaves the target gone. Write-through makes the move reach the disk before
// the call returns.
DWORD MoveOver(const Path& from, const Path& to) {
    if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return ERROR_SUCCESS;
    }
    return ::GetLastError();
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
            return Error(std::errc::not_a_directory);
        }
        const Path parent = current.parent_path();
        if (parent == current) break;
        current = parent;
    }
    return {};
}

}  // namespace

Path PathFromWide(std::wstring_view text) { return Path(std::wstring(text)); }

std::wstring WideFromPath(const Path& path) { return path.native(); }

std::error_code CurrentDirectory(Path& directory) {
    std::error_code error;
    directory = std::filesystem::current_path(error);
    return error;
}

std::uint64_t CurrentProcessId() { return ::GetCurrentProcessId(); }

std::error_code OpenForReading(const Path& path, FileHandle& file) {
    return OpenWith(path, GENERIC_READ, OPEN_EXISTING, file);
}

std::error_code CreateNew(const Path& path, FileHandle& file) {
    return OpenWith(path, GENERIC_WRITE, CREATE_NEW, file);
}

std::error_code OpenOrCreate(const Path& path, FileHandle& file) {
    return OpenWith(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, file);
}

std::error_code OpenExisting(const Path& path, FileHandle& file) {
    return OpenWith(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, file);
}

// Renames over a file held open follow POSIX rules only on some versions
// and file systems.
bool ReplacesFilesHeldOpen() { return false; }

// Opened without access rights, which no other opener's sharing can refuse;
// the backup-semantics flag lets a folder be opened too.
std::error_code Status(const Path& path, FileStatus& status) {
    const HANDLE handle = OpenNative(path, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        if (!IsMissing(code)) return ErrorFrom(code);
        if (auto error = MissingOrThroughAFile(path)) return error;
        status = FileStatus{};
        return {};
    }
    const std::error_code error = Status(FileHandle{reinterpret_cast<std::intptr_t>(handle)}, status);
    ::CloseHandle(handle);
    return error;
}

std::error_code Status(FileHandle file, FileStatus& status) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(Native(file), &info)) return LastError();
    status.kind = KindOf(Native(file), info.dwFileAttributes);
    status.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    status.device = info.dwVolumeSerialNumber;
    status.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return {};
}

std::error_code ReadAt(FileHandle file, std::uint64_t offset, void* buffer, std::size_t size,
                       std::size_t& count) {
    count = 0;
    auto* bytes = static_cast<char*>(buffer);
    while (count < size) {
        if (auto error = Injected(IoKind::Read)) return error;
        const auto chunk = static_cast<DWORD>(std::min(size - count, kMaxChunk));
        OVERLAPPED at = At(offset + count);
        DWORD got = 0;
        if (!::ReadFile(Native(file), bytes + count, chunk, &got, &at)) {
            const DWORD code = ::GetLastError();
            if (code == ERROR_HANDLE_EOF) break;
            return ErrorFrom(code);
        }
        if (got == 0) break;
        count += got;
    }
    return {};
}

std::error_code WriteAt(FileHandle file, std::uint64_t offset, const void* buffer, std::size_t size) {
    const auto* bytes = static_cast<const char*>(buffer);
    std::size_t done = 0;
    do {
        if (auto error = Injected(IoKind::Write)) return error;
        const auto chunk = static_cast<DWORD>(std::min(size - done, kMaxChunk));
        OVERLAPPED at = At(offset + done);
        DWORD put = 0;
        if (!::WriteFile(Native(file), bytes + done, chunk, &put, &at)) return LastError();
        if (put == 0 && chunk != 0) return Error(std::errc::io_error);
        done += put;
    } while (done < size);
    return {};
}

std::error_code Truncate(FileHandle file, std::uint64_t size) {
    if (auto error = Injected(IoKind::Truncate)) return error;
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFileInformationByHandle(Native(file), FileEndOfFileInfo, &end, sizeof end)) return LastError();
    return {};
}

std::error_code SyncFile(FileHandle file) {
    if (auto error = Injected(IoKind::Sync)) return error;
    // Not retried: after a failed flush the system may have dropped the
    // cached data, so a second call could report success for data that never
    // reached the disk.
    if (!::FlushFileBuffers(Native(file))) return LastError();
    return {};
}

// Windows flushes data and metadata alike.
std::error_code SyncData(FileHandle file) { return SyncFile(file); }

// Windows files carry no permission bits. A new file takes the access rules
// its folder passes on, as the stored copy it replaces did; copying the
// read-only attribute would only make the next replace fail.
std::error_code CopyPermissions(const Path&, FileHandle) { return {}; }

std::error_code CloseWritten(FileHandle& file) {
    const HANDLE handle = Native(file);
    file.native = -1;
    const std::error_code injected = Injected(IoKind::Close);
    const BOOL closed = ::CloseHandle(handle);
    if (injected) return injected;
    return closed ? std::error_code{} : LastError();
}

void CloseRead(FileHandle& file) {
    if (!file.IsOpen()) return;
    // The system frees a closed handle's locks only when it gets round to it;
    // a writer that waits for this lock should not have to. A file that holds
    // no lock just refuses the unlock.
    OVERLAPPED at = LockPosition();
    ::UnlockFileEx(Native(file), 0, 1, 0, &at);
    ::CloseHandle(Native(file));
    file.native = -1;
}

// Tries again, with growing waits and for a bounded time, a replace that
// another program blocks for a while; anything else fails at once.
std::error_code RenameOver(const Path& from, const Path& to) {
    if (auto error = Injected(IoKind::Rename)) return error;
    const auto deadline = std::chrono::steady_clock::now() + kReplaceRetryLimit;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        const DWORD code = MoveOver(from, to);
        if (code == ERROR_SUCCESS) return {};
        if (!MayClearUp(code, to) || std::chrono::steady_clock::now() >= deadline) return ErrorFrom(code);
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, kLongestReplaceWait);
    }
}

// Windows offers no documented way to flush a folder's entries the way
// fsync on a directory does on POSIX. The renames themselves are made with
// MOVEFILE_WRITE_THROUGH, and NTFS writes its metadata changes through its
// own journal. Beyond that, FlushFileBuffers on a folder handle opened for
// writing flushes the folder where the file system supports it (NTFS does);
// where the file system or the access rights refuse it, nothing more can be
// done, and that is not an error. A missing folder is reported as missing.
std::error_code SyncDirectory(const Path& directory) {
    if (auto error = Injected(IoKind::SyncDirectory)) return error;
    const HANDLE handle =
        OpenNative(directory, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        if (code != ERROR_ACCESS_DENIED) return ErrorFrom(code);
        FileStatus status;
        if (auto error = Status(directory, status)) return error;
        return status.kind == FileKind::Missing ? Error(std::errc::no_such_file_or_directory) : std::error_code{};
    }
    const BOOL flushed = ::FlushFileBuffers(handle);
    const DWORD code = flushed ? ERROR_SUCCESS : ::GetLastError();
    ::CloseHandle(handle);
    if (flushed || code == ERROR_ACCESS_DENIED || code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED) {
        return {};
    }
    return ErrorFrom(code);
}

std::error_code RemoveFile(const Path& path) {
    if (auto error = Injected(IoKind::Remove)) return error;
    if (!::DeleteFileW(path.c_str())) return LastError();
    return {};
}

std::error_code LinkFile(const Path& existing, const Path& newName) {
    if (auto error = Injected(IoKind::Link)) return error;
    if (!::CreateHardLinkW(newName.c_str(), existing.c_str(), nullptr)) return LastError();
    return {};
}

std::error_code MakeDirectory(const Path& path) {
    if (auto error = Injected(IoKind::MakeDirectory)) return error;
    if (!::CreateDirectoryW(path.c_str(), nullptr)) return LastError();
    return {};
}

std::error_code RemoveDirectory(const Path& path) {
    if (auto error = Injected(IoKind::Remove)) return error;
    if (!::RemoveDirectoryW(path.c_str())) return LastError();
    return {};
}

// LockFileEx without waiting, tried again with growing pauses, so that the
// wait is bounded; the system releases the lock when its holder dies.
std::error_code LockExclusive(FileHandle file, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (auto error = Injected(IoKind::Lock)) return error;
        OVERLAPPED at = LockPosition();
        if (::LockFileEx(Native(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) return {};
        const DWORD code = ::GetLastError();
        if (code != ERROR_LOCK_VIOLATION) return ErrorFrom(code);
        if (std::chrono::steady_clock::now() >= deadline) return Error(std::errc::timed_out);
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
}

}  // namespace kvd::durable
