// POSIX implementation of the durable-file operations. This file alone may
// use <unistd.h>, <fcntl.h> and the other POSIX headers. Every call goes
// through the fault seam first, so tests can fail any one of them.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#include "encoding/WideText.h"
#include "kvdfiles/platform/DurableFiles.h"
#include "kvdfiles/platform/FaultInjection.h"

namespace kvd::durable {
namespace {

// Linux moves at most about 2 GiB per read or write call; stay well below.
constexpr std::size_t kMaxChunk = std::size_t{1} << 30;
// Large writes go out in pieces of this size, each handed to the disk while
// the next is written.
constexpr std::size_t kWriteChunk = std::size_t{8} << 20;

std::error_code Error(int value) { return {value, std::generic_category()}; }
std::error_code LastError() { return Error(errno); }

int Descriptor(FileHandle file) { return static_cast<int>(file.native); }

// The injected error of this call of kind, if a test asked for one.
std::error_code Injected(IoKind kind) {
    const int error = faults::InjectedError(kind);
    return error != 0 ? Error(error) : std::error_code{};
}

// Starts writing a range to the disk without waiting, so that the flush at
// the end of a large file finds little left to do. Only a hint: the flush
// reports whatever goes wrong.
void StartWriteback(int fd, std::uint64_t offset, std::size_t size) {
#if defined(SYNC_FILE_RANGE_WRITE)
    static_cast<void>(::sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(size),
                                        SYNC_FILE_RANGE_WRITE));
#else
    static_cast<void>(fd), static_cast<void>(offset), static_cast<void>(size);
#endif
}

std::error_code OpenWithFlags(const Path& path, int flags, FileHandle& file) {
    if (auto error = Injected(IoKind::Open)) return error;
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return LastError();
    file.native = fd;
    return {};
}

FileKind KindOf(mode_t mode) {
    if (S_ISREG(mode)) return FileKind::Regular;
    if (S_ISDIR(mode)) return FileKind::Directory;
    return FileKind::Other;
}

void Fill(const struct stat& info, FileStatus& status) {
    status.kind = KindOf(info.st_mode);
    status.size = static_cast<std::uint64_t>(info.st_size);
    status.device = static_cast<std::uint64_t>(info.st_dev);
    status.inode = static_cast<std::uint64_t>(info.st_ino);
}


}  // namespace

Path PathFromWide(std::wstring_view text) { return Path(encoding::BytesFromWide(text)); }

std::wstring WideFromPath(const Path& path) { return encoding::WideFromBytes(path.native()); }

std::error_code CurrentDirectory(Path& directory) {
    std::error_code error;
    directory = std::filesystem::current_path(error);
    return error;
}

std::uint64_t CurrentProcessId() { return static_cast<std::uint64_t>(::getpid()); }

std::error_code OpenForReading(const Path& path, FileHandle& file) {
    return OpenWithFlags(path, O_RDONLY, file);
}

std::error_code CreateNew(const Path& path, FileHandle& file) {
    return OpenWithFlags(path, O_WRONLY | O_CREAT | O_EXCL, file);
}

std::error_code OpenOrCreate(const Path& path, FileHandle& file) {
    return OpenWithFlags(path, O_RDWR | O_CREAT, file);
}

std::error_code OpenExisting(const Path& path, FileHandle& file) { return OpenWithFlags(path, O_RDWR, file); }

bool ReplacesFilesHeldOpen() { return true; }

std::error_code Status(const Path& path, FileStatus& status) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno != ENOENT) return LastError();
        status = FileStatus{};
        return {};
    }
    Fill(info, status);
    return {};
}

std::error_code Status(FileHandle file, FileStatus& status) {
    struct stat info {};
    if (::fstat(Descriptor(file), &info) != 0) return LastError();
    Fill(info, status);
    return {};
}

std::error_code ReadAt(FileHandle file, std::uint64_t offset, void* buffer, std::size_t size,
                       std::size_t& count) {
    count = 0;
    auto* bytes = static_cast<char*>(buffer);
    while (count < size) {
        if (auto error = Injected(IoKind::Read)) return error;
        const std::size_t chunk = std::min(size - count, kMaxChunk);
        const ssize_t got = ::pread(Descriptor(file), bytes + count, chunk,
                                    static_cast<off_t>(offset + count));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return LastError();
        if (got == 0) break;
        count += static_cast<std::size_t>(got);
    }
    return {};
}

std::error_code WriteAt(FileHandle file, std::uint64_t offset, const void* buffer, std::size_t size) {
    const auto* bytes = static_cast<const char*>(buffer);
    std::size_t done = 0;
    do {
        if (auto error = Injected(IoKind::Write)) return error;
        const std::size_t chunk = std::min(size - done, kWriteChunk);
        const ssize_t put = ::pwrite(Descriptor(file), bytes + done, chunk,
                                     static_cast<off_t>(offset + done));
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) return LastError();
        if (put == 0 && chunk != 0) return Error(EIO);
        if (size > kWriteChunk) StartWriteback(Descriptor(file), offset + done, static_cast<std::size_t>(put));
        done += static_cast<std::size_t>(put);
    } while (done < size);
    return {};
}

std::error_code Truncate(FileHandle file, std::uint64_t size) {
    if (auto error = Injected(IoKind::Truncate)) return error;
    if (::ftruncate(Descriptor(file), static_cast<off_t>(size)) != 0) return LastError();
    return {};
}

std::error_code SyncFile(FileHandle file) {
    if (auto error = Injected(IoKind::Sync)) return error;
    // No retry on EINTR or anything else: after a failed fsync the kernel may
    // have dropped the dirty pages, so a second call could report success for
    // data that never reached the disk.
    if (::fsync(Descriptor(file)) != 0) return LastError();
    return {};
}

std::error_code SyncData(FileHandle file) {
    if (auto error = Injected(IoKind::Sync)) return error;
    // Not retried either, for the same reason.
    if (::fdatasync(Descriptor(file)) != 0) return LastError();
    return {};
}

std::error_code CopyPermissions(const Path& source, FileHandle target) {
    struct stat info {};
    if (::stat(source.c_str(), &info) != 0) return LastError();
    if (::fchmod(Descriptor(target), info.st_mode & 07777) != 0) return LastError();
    return {};
}

std::error_code CloseWritten(FileHandle& file) {
    const int fd = Descriptor(file);
    file.native = -1;
    const std::error_code injected = Injected(IoKind::Close);
    // close is never retried: on Linux the descriptor is gone even when it
    // reports EINTR, and a retry could close a descriptor another thread got.
    const int result = ::close(fd);
    if (injected) return injected;
    return result != 0 ? LastError() : std::error_code{};
}

void CloseRead(FileHandle& file) {
    if (!file.IsOpen()) return;
    ::close(Descriptor(file));
    file.native = -1;
}

std::error_code RenameOver(const Path& from, const Path& to) {
    if (auto error = Injected(IoKind::Rename)) return error;
    if (::rename(from.c_str(), to.c_str()) != 0) return LastError();
    return {};
}

std::error_code SyncDirectory(const Path& directory) {
    if (auto error = Injected(IoKind::SyncDirectory)) return error;
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return LastError();
    const int result = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    // Some file systems cannot sync a directory at all (EINVAL); their
    // renames are as durable as they will ever be.
    if (result != 0 && error != EINVAL) return Error(error);
    return {};
}

std::error_code RemoveFile(const Path& path) {
    if (auto error = Injected(IoKind::Remove)) return error;
    if (::unlink(path.c_str()) != 0) return LastError();
    return {};
}

std::error_code LinkFile(const Path& existing, const Path& newName) {
    if (auto error = Injected(IoKind::Link)) return error;
    if (::link(existing.c_str(), newName.c_str()) != 0) return LastError();
    return {};
}

std::error_code MakeDirectory(const Path& path) {
    if (auto error = Injected(IoKind::MakeDirectory)) return error;
    if (::mkdir(path.c_str(), 0777) != 0) return LastError();
    return {};
}

std::error_code RemoveDirectory(const Path& path) {
    if (auto error = Injected(IoKind::Remove)) return error;
    if (::rmdir(path.c_str()) != 0) return LastError();
    return {};
}

std::error_code LockExclusive(FileHandle file, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (auto error = Injected(IoKind::Lock)) return error;
        if (::flock(Descriptor(file), LOCK_EX | LOCK_NB) == 0) return {};
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return LastError();
        if (std::chrono::steady_clock::now() >= deadline) return Error(ETIMEDOUT);
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
}

}  // namespace kvd::durable
