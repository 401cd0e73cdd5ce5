// The single calls of the durable-file operations on Windows. Paths are wide
// text, handed to the W calls as they are: the index stores UTF-16LE, so no
// name needs mapping on this system.
#include "fileio/WindowsHeaders.h"
// <windows.h> maps RemoveDirectory to RemoveDirectoryW; this file defines
// single::RemoveDirectory and calls the W function by its own name.
#undef RemoveDirectory

#include "kvdfiles/platform/DurableCalls.h"

namespace kvd::durable::single {
namespace {

// The writers' lock is one byte far past anything the lock file will hold:
// Windows locks are mandatory, and the journal lives at the start of the file.
constexpr DWORD kLockOffsetHigh = 0x40000000;

std::error_code Error(DWORD code) { return {static_cast<int>(code), std::system_category()}; }
std::error_code LastError() { return Error(::GetLastError()); }
std::error_code ResultOf(BOOL succeeded) { return succeeded ? std::error_code{} : LastError(); }

HANDLE Native(FileHandle file) { return reinterpret_cast<HANDLE>(file.native); }

OVERLAPPED LockPosition() {
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    return at;
}

}  // namespace

// Windows starts writing cached data out by itself.
void StartWriteback(FileHandle, std::uint64_t, std::size_t) {}

std::error_code Truncate(FileHandle file, std::uint64_t size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    return ResultOf(::SetFileInformationByHandle(Native(file), FileEndOfFileInfo, &end, sizeof end));
}

std::error_code SyncFile(FileHandle file) { return ResultOf(::FlushFileBuffers(Native(file))); }

// Windows flushes data and metadata alike.
std::error_code SyncData(FileHandle file) { return SyncFile(file); }

// Windows files carry no permission bits. A new file takes the access rules
// its folder passes on, as the stored copy it replaces did; copying the
// read-only attribute would only make the next replace fail.
std::error_code CopyPermissions(const Path&, FileHandle) { return {}; }

// Windows offers no documented way to flush a folder's entries the way
// fsync on a directory does on POSIX. The renames themselves are made with
// MOVEFILE_WRITE_THROUGH, and NTFS writes its metadata changes through its
// own journal. Beyond that, FlushFileBuffers on a folder handle opened for
// writing flushes the folder where the file system supports it (NTFS does);
// where the file system or the access rights refuse it, nothing more can be
// done, and that is not an error. A missing folder is reported as missing.
std::error_code SyncDirectory(const Path& directory) {
    const HANDLE handle = ::CreateFileW(directory.c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        if (code != ERROR_ACCESS_DENIED) return Error(code);
        FileStatus status;
        if (auto error = fileio::Status(directory, status)) return error;
        return status.kind == FileKind::Missing ? Error(ERROR_PATH_NOT_FOUND) : std::error_code{};
    }
    const BOOL flushed = ::FlushFileBuffers(handle);
    const DWORD code = flushed ? ERROR_SUCCESS : ::GetLastError();
    ::CloseHandle(handle);
    if (flushed || code == ERROR_ACCESS_DENIED || code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED) {
        return {};
    }
    return Error(code);
}

std::error_code LinkFile(const Path& existing, const Path& newName) {
    return ResultOf(::CreateHardLinkW(newName.c_str(), existing.c_str(), nullptr));
}

std::error_code MakeDirectory(const Path& path) { return ResultOf(::CreateDirectoryW(path.c_str(), nullptr)); }

std::error_code RemoveDirectory(const Path& path) { return ResultOf(::RemoveDirectoryW(path.c_str())); }

std::error_code TryLock(FileHandle file, bool& busy) {
    OVERLAPPED at = LockPosition();
    busy = false;
    if (::LockFileEx(Native(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) return {};
    const DWORD code = ::GetLastError();
    busy = code == ERROR_LOCK_VIOLATION;
    return busy ? std::error_code{} : Error(code);
}

// The system frees a closed handle's locks only when it gets round to it; a
// writer that waits for this lock should not have to. A file that holds no
// lock just refuses the unlock.
void Unlock(FileHandle file) {
    OVERLAPPED at = LockPosition();
    ::UnlockFileEx(Native(file), 0, 1, 0, &at);
}

// Renames over a file held open follow POSIX rules only on some versions
// and file systems.
bool ReplacesFilesHeldOpen() { return false; }

}  // namespace kvd::durable::single
