// The single file calls on POSIX systems. This file alone includes
// <unistd.h>, <fcntl.h> and the other POSIX headers of the file layer.
// Paths are bytes; wide text reaches them through the reversible mapping.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <vector>

#include "encoding/WideText.h"
#include "fileio/SingleCalls.h"

namespace fileio {
namespace {

// How long a copy waits for another process that copies to the same place.
constexpr std::chrono::milliseconds kCopyLockWait{30000};

std::error_code Error(int value) { return {value, std::system_category()}; }
std::error_code LastError() { return Error(errno); }

int Descriptor(File file) { return static_cast<int>(file.native); }

int AccessFlags(Access access) {
    switch (access) {
        case Access::Read: return O_RDONLY;
        case Access::Write: return O_WRONLY;
        case Access::ReadWrite: break;
    }
    return O_RDWR;
}

int DispositionFlags(Disposition disposition) {
    switch (disposition) {
        case Disposition::OpenExisting: return 0;
        case Disposition::CreateNew: return O_CREAT | O_EXCL;
        case Disposition::OpenOrCreate: return O_CREAT;
        case Disposition::CreateOrTruncate: break;
    }
    return O_CREAT | O_TRUNC;
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

// Copies in the kernel; unsupported is set when the file systems cannot,
// so that the caller copies through a buffer instead.
std::error_code CopyInKernel(int source, int destination, bool& unsupported) {
    for (;;) {
        const ssize_t copied = ::copy_file_range(source, nullptr, destination, nullptr, single::kLargestTransfer, 0);
        if (copied == 0) return {};
        if (copied > 0) continue;
        if (errno == EINTR) continue;
        unsupported = errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP;
        return LastError();
    }
}

std::error_code CopyThroughBuffer(File source, File destination) {
    std::vector<char> buffer(std::size_t{1} << 20);
    for (;;) {
        std::size_t got = 0;
        if (auto error = Read(source, kCurrentPosition, buffer.data(), buffer.size(), got)) return error;
        if (got == 0) return {};
        std::size_t put = 0;
        if (auto error = Write(destination, kCurrentPosition, buffer.data(), got, put)) return error;
        if (put != got) return Error(EIO);
    }
}

std::error_code CopyContent(File source, File destination) {
    bool unsupported = false;
    const std::error_code error = CopyInKernel(Descriptor(source), Descriptor(destination), unsupported);
    if (!error || !unsupported) return error;
    if (::lseek(Descriptor(source), 0, SEEK_SET) != 0 || ::lseek(Descriptor(destination), 0, SEEK_SET) != 0 ||
        ::ftruncate(Descriptor(destination), 0) != 0) {
        return LastError();
    }
    return CopyThroughBuffer(source, destination);
}

bool SameFile(const FileStatus& a, const FileStatus& b) {
    return a.kind == b.kind && a.device == b.device && a.inode == b.inode;
}

// Waits for the lock on an open file, for a bounded time.
std::error_code LockWithin(File file, std::chrono::milliseconds limit) {
    return TryWhileBusy(limit, [&](bool& busy) {
        while (::flock(Descriptor(file), LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK) {
                busy = true;
                return std::error_code{};
            }
            if (errno != EINTR) return LastError();
        }
        return std::error_code{};
    });
}

// The copy's temporary, open and locked: a concurrent copy to the same place
// waits until this one has renamed it away. A temporary that another copy
// renamed while this one waited is not used; a fresh one is made.
std::error_code OpenLockedTemporary(const Path& temporary, File& file) {
    for (;;) {
        if (auto error = Open(temporary, Access::Write, Disposition::OpenOrCreate, Sharing::Read, file)) return error;
        FileStatus opened;
        FileStatus named;
        std::error_code error = LockWithin(file, kCopyLockWait);
        if (!error) error = Status(file, opened);
        if (!error) error = Status(temporary, named);
        if (!error && SameFile(opened, named)) return {};
        Close(file);
        if (error) return error;
    }
}

// A temporary that a copy left unfinished is emptied first. An empty one is
// left alone: ext4 takes a truncation to nothing for a file being rewritten
// and starts writing the new content out when it is closed, and close waits
// for that (0.3 s after a copy of 512 MiB, against nothing untruncated).
std::error_code Emptied(File file) {
    struct stat info {};
    if (::fstat(Descriptor(file), &info) != 0) return LastError();
    if (info.st_size != 0 && ::ftruncate(Descriptor(file), 0) != 0) return LastError();
    return {};
}

std::error_code CopyToLockedTemporary(File source, File temporary) {
    struct stat info {};
    if (::fstat(Descriptor(source), &info) != 0) return LastError();
    if (auto error = Emptied(temporary)) return error;
    if (::fchmod(Descriptor(temporary), info.st_mode & 07777) != 0) return LastError();
    return CopyContent(source, temporary);
}

}  // namespace

Path PathFromWide(std::wstring_view text) { return Path(encoding::BytesFromWide(text)); }

std::wstring WideFromPath(const Path& path) { return encoding::WideFromBytes(path.native()); }

std::error_code Portable(std::error_code error) {
    return error ? std::error_code(error.value(), std::generic_category()) : error;
}

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

std::error_code Status(File file, FileStatus& status) {
    struct stat info {};
    if (::fstat(Descriptor(file), &info) != 0) return LastError();
    Fill(info, status);
    return {};
}

std::error_code CopyReplacing(const Path& source, const Path& destination) {
    File input;
    if (auto error = Open(source, Access::Read, Disposition::OpenExisting, Sharing::Read, input)) return error;
    FileStatus status;
    std::error_code error = Status(input, status);
    if (!error && status.kind != FileKind::Regular) error = Error(EINVAL);
    const Path temporary = CopyTemporaryName(destination);
    File output;
    if (!error) error = OpenLockedTemporary(temporary, output);
    if (!error) error = CopyToLockedTemporary(input, output);
    Close(input);
    // Renamed, or removed after a failure, while still locked, so that no
    // other copy can write into it once it is the backup.
    if (!error) error = Rename(temporary, destination);
    if (error && output.IsOpen()) static_cast<void>(Remove(temporary));
    if (output.IsOpen()) {
        const std::error_code closed = CloseWritten(output);
        if (!error) error = closed;
    }
    return error;
}

namespace single {

std::error_code Open(const Path& path, Access access, Disposition disposition, Sharing, File& file) {
    const int flags = AccessFlags(access) | DispositionFlags(disposition) | O_CLOEXEC;
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return LastError();
    file.native = fd;
    return {};
}

// Never made again: on Linux the descriptor is gone even when close reports
// EINTR, and a second close could close a descriptor another thread got.
std::error_code Close(File file) { return ::close(Descriptor(file)) != 0 ? LastError() : std::error_code{}; }

std::error_code Read(File file, std::uint64_t offset, void* buffer, std::size_t size, std::size_t& got) {
    for (;;) {
        const ssize_t result = offset == kCurrentPosition
                                   ? ::read(Descriptor(file), buffer, size)
                                   : ::pread(Descriptor(file), buffer, size, static_cast<off_t>(offset));
        if (result >= 0) {
            got = static_cast<std::size_t>(result);
            return {};
        }
        if (errno != EINTR) return LastError();
    }
}

std::error_code Write(File file, std::uint64_t offset, const void* buffer, std::size_t size, std::size_t& put) {
    for (;;) {
        const ssize_t result = offset == kCurrentPosition
                                   ? ::write(Descriptor(file), buffer, size)
                                   : ::pwrite(Descriptor(file), buffer, size, static_cast<off_t>(offset));
        if (result >= 0) {
            put = static_cast<std::size_t>(result);
            return {};
        }
        if (errno != EINTR) return LastError();
    }
}

std::error_code Rename(const Path& from, const Path& to) {
    return ::rename(from.c_str(), to.c_str()) != 0 ? LastError() : std::error_code{};
}

std::error_code Remove(const Path& path) { return ::unlink(path.c_str()) != 0 ? LastError() : std::error_code{}; }

// POSIX never refuses a file because another process holds it open.
bool HeldOpenElsewhere(std::error_code, const Path&) { return false; }

std::uint64_t ProcessId() { return static_cast<std::uint64_t>(::getpid()); }

}  // namespace single
}  // namespace fileio
