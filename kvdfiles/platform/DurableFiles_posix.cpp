// The single calls of the durable-file operations on POSIX systems. This
// file alone may use <unistd.h>, <fcntl.h> and the other POSIX headers of
// the library.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "kvdfiles/platform/DurableCalls.h"

namespace kvd::durable::single {
namespace {

std::error_code LastError() { return {errno, std::system_category()}; }

std::error_code ResultOf(int result) { return result != 0 ? LastError() : std::error_code{}; }

int Descriptor(FileHandle file) { return static_cast<int>(file.native); }

}  // namespace

void StartWriteback(FileHandle file, std::uint64_t offset, std::size_t size) {
#if defined(SYNC_FILE_RANGE_WRITE)
    static_cast<void>(::sync_file_range(Descriptor(file), static_cast<off_t>(offset), static_cast<off_t>(size),
                                        SYNC_FILE_RANGE_WRITE));
#else
    static_cast<void>(file), static_cast<void>(offset), static_cast<void>(size);
#endif
}

std::error_code Truncate(FileHandle file, std::uint64_t size) {
    return ResultOf(::ftruncate(Descriptor(file), static_cast<off_t>(size)));
}

std::error_code SyncFile(FileHandle file) { return ResultOf(::fsync(Descriptor(file))); }

std::error_code SyncData(FileHandle file) { return ResultOf(::fdatasync(Descriptor(file))); }

std::error_code CopyPermissions(const Path& source, FileHandle target) {
    struct stat info {};
    if (::stat(source.c_str(), &info) != 0) return LastError();
    return ResultOf(::fchmod(Descriptor(target), info.st_mode & 07777));
}

std::error_code SyncDirectory(const Path& directory) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return LastError();
    const int result = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    // Some file systems cannot sync a directory at all (EINVAL); their
    // renames are as durable as they will ever be.
    if (result != 0 && error != EINVAL) return {error, std::system_category()};
    return {};
}

std::error_code LinkFile(const Path& existing, const Path& newName) {
    return ResultOf(::link(existing.c_str(), newName.c_str()));
}

std::error_code MakeDirectory(const Path& path) { return ResultOf(::mkdir(path.c_str(), 0777)); }

std::error_code RemoveDirectory(const Path& path) { return ResultOf(::rmdir(path.c_str())); }

std::error_code TryLock(FileHandle file, bool& busy) {
    busy = false;
    for (;;) {
        if (::flock(Descriptor(file), LOCK_EX | LOCK_NB) == 0) return {};
        if (errno == EINTR) continue;
        busy = errno == EWOULDBLOCK;
        return busy ? std::error_code{} : LastError();
    }
}

// Closing the file releases the lock at once.
void Unlock(FileHandle) {}

bool ReplacesFilesHeldOpen() { return true; }

}  // namespace kvd::durable::single
