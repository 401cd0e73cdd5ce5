// The durable-file operations, the same on every platform: each I/O call
// passes the test seam here, and only here, and its error becomes an errno
// value. The calls themselves are the shared file layer's, or the single
// calls of DurableFiles_posix.cpp and DurableFiles_win32.cpp.
#include "kvdfiles/platform/DurableFiles.h"

#include <algorithm>

#include "kvdfiles/Crc32c.h"
#include "kvdfiles/platform/DurableCalls.h"
#include "kvdfiles/platform/FaultInjection.h"

namespace kvd::durable {
namespace {

using fileio::Access;
using fileio::Disposition;
using fileio::Sharing;

constexpr std::string_view kSiblingPrefix = ".kvd-";
// Large writes go out in pieces of this size, each handed to the disk while
// the next is written, so that the flush at the end finds little left to do.
constexpr std::size_t kWritePiece = std::size_t{8} << 20;
// Content that is summed as it goes out is written in pieces that stay in
// the cache between the sum and the write.
constexpr std::size_t kSummedPiece = std::size_t{256} << 10;

std::error_code ErrnoError(int value) { return {value, std::generic_category()}; }

// The error a test injected into this call of kind, if any.
std::error_code Injected(IoKind kind) {
    const int error = faults::InjectedError(kind);
    return error != 0 ? ErrnoError(error) : std::error_code{};
}

// One I/O call of kind: failed by the test seam, or made.
template <typename Call>
std::error_code Checked(IoKind kind, Call call) {
    if (auto error = Injected(kind)) return error;
    return fileio::Portable(call());
}

using faults::ChangeKind;

faults::Change NamesChange(ChangeKind kind, const Path& path, const Path* otherPath = nullptr) {
    faults::Change change;
    change.kind = kind;
    change.path = &path;
    change.otherPath = otherPath;
    return change;
}

faults::Change FileChange(ChangeKind kind, FileHandle file, std::uint64_t offset = 0, const void* data = nullptr,
                          std::uint64_t size = 0) {
    faults::Change change;
    change.kind = kind;
    change.file = file;
    change.offset = offset;
    change.data = data;
    change.size = size;
    return change;
}

// One I/O call of kind that changes the disk; once it succeeded, a test
// that records changes is told of it.
template <typename Call>
std::error_code Changing(IoKind kind, const faults::Change& change, Call call) {
    const std::error_code error = Checked(kind, call);
    if (!error) faults::Record(change);
    return error;
}

// The library's own files are opened so that other openers, and its own
// renames over them, are never refused while they are open.
std::error_code OpenShared(const Path& path, Access access, Disposition disposition, FileHandle& file) {
    return Checked(IoKind::Open, [&] { return fileio::Open(path, access, disposition, Sharing::All, file); });
}

std::error_code OpenForChanges(const Path& path, Access access, Disposition disposition, FileHandle& file) {
    const std::error_code error = OpenShared(path, access, disposition, file);
    if (!error) {
        faults::Change change = NamesChange(ChangeKind::Open, path);
        change.file = file;
        faults::Record(change);
    }
    return error;
}

std::error_code WriteWhole(FileHandle file, std::uint64_t offset, const void* buffer, std::size_t size) {
    std::size_t written = 0;
    if (auto error = fileio::Write(file, offset, buffer, size, written)) return error;
    return written == size ? std::error_code{} : std::make_error_code(std::errc::io_error);
}

}  // namespace

std::error_code CurrentDirectory(Path& directory) {
    std::error_code error;
    directory = std::filesystem::current_path(error);
    return error;
}

Path SiblingName(const Path& target, std::string_view suffix) {
    return fileio::UniqueNameBeside(target, kSiblingPrefix, suffix);
}

bool IsSiblingName(const Path& name) {
    static const Path prefix{std::string(kSiblingPrefix)};
    return name.filename().native().starts_with(prefix.native());
}

std::error_code OpenForReading(const Path& path, FileHandle& file) {
    return OpenShared(path, Access::Read, Disposition::OpenExisting, file);
}

std::error_code CreateNew(const Path& path, FileHandle& file) {
    return OpenForChanges(path, Access::Write, Disposition::CreateNew, file);
}

std::error_code OpenOrCreate(const Path& path, FileHandle& file) {
    return OpenForChanges(path, Access::ReadWrite, Disposition::OpenOrCreate, file);
}

std::error_code OpenExisting(const Path& path, FileHandle& file) {
    return OpenForChanges(path, Access::ReadWrite, Disposition::OpenExisting, file);
}

std::error_code Status(const Path& path, FileStatus& status) {
    return Checked(IoKind::Status, [&] { return fileio::Status(path, status); });
}

std::error_code Status(FileHandle file, FileStatus& status) {
    return Checked(IoKind::Status, [&] { return fileio::Status(file, status); });
}

std::error_code ReadAt(FileHandle file, std::uint64_t offset, void* buffer, std::size_t size, std::size_t& count) {
    count = 0;
    return Checked(IoKind::Read, [&] { return fileio::Read(file, offset, buffer, size, count); });
}

std::error_code WriteAt(FileHandle file, std::uint64_t offset, const void* buffer, std::size_t size,
                        std::uint32_t* checksum) {
    return Changing(IoKind::Write, FileChange(ChangeKind::Write, file, offset, buffer, size), [&] {
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        if (size <= kWritePiece && checksum == nullptr) return WriteWhole(file, offset, bytes, size);
        std::size_t handedOver = 0;
        for (std::size_t done = 0; done < size;) {
            const std::size_t piece = std::min(size - done, checksum != nullptr ? kSummedPiece : kWritePiece);
            if (checksum != nullptr) *checksum = Crc32cExtend(*checksum, bytes + done, piece);
            if (auto error = WriteWhole(file, offset + done, bytes + done, piece)) return error;
            done += piece;
            if (size > kWritePiece && (done - handedOver >= kWritePiece || done == size)) {
                single::StartWriteback(file, offset + handedOver, done - handedOver);
                handedOver = done;
            }
        }
        return std::error_code{};
    });
}

std::error_code Truncate(FileHandle file, std::uint64_t size) {
    return Changing(IoKind::Truncate, FileChange(ChangeKind::Truncate, file, size),
                    [&] { return single::Truncate(file, size); });
}

// Never tried again: after a failed flush the system may have dropped the
// cached data, so a second call could report success for data that never
// reached the disk.
std::error_code SyncFile(FileHandle file) {
    return Changing(IoKind::Sync, FileChange(ChangeKind::Sync, file), [&] { return single::SyncFile(file); });
}

std::error_code SyncData(FileHandle file) {
    return Changing(IoKind::Sync, FileChange(ChangeKind::Sync, file), [&] { return single::SyncData(file); });
}

std::error_code CopyPermissions(const Path& source, FileHandle target) {
    return fileio::Portable(single::CopyPermissions(source, target));
}

// The file is closed whatever the seam says, so that a failed close never
// leaves it open.
std::error_code CloseWritten(FileHandle& file) {
    faults::Record(FileChange(ChangeKind::Close, file));
    const std::error_code injected = Injected(IoKind::Close);
    const std::error_code closed = fileio::Portable(fileio::CloseWritten(file));
    return injected ? injected : closed;
}

void CloseRead(FileHandle& file) {
    if (!file.IsOpen()) return;
    faults::Record(FileChange(ChangeKind::Close, file));
    single::Unlock(file);
    fileio::Close(file);
}

std::error_code RenameOver(const Path& from, const Path& to) {
    return Changing(IoKind::Rename, NamesChange(ChangeKind::Rename, from, &to),
                    [&] { return fileio::Rename(from, to); });
}

std::error_code SyncDirectory(const Path& directory) {
    return Changing(IoKind::SyncDirectory, NamesChange(ChangeKind::SyncDirectory, directory),
                    [&] { return single::SyncDirectory(directory); });
}

std::error_code RemoveFile(const Path& path) {
    return Changing(IoKind::Remove, NamesChange(ChangeKind::Remove, path), [&] { return fileio::Remove(path); });
}

std::error_code RemoveIfPresent(const Path& path) {
    const std::error_code error = RemoveFile(path);
    return error == std::errc::no_such_file_or_directory ? std::error_code{} : error;
}

std::error_code LinkFile(const Path& existing, const Path& newName) {
    return Changing(IoKind::Link, NamesChange(ChangeKind::Link, existing, &newName),
                    [&] { return single::LinkFile(existing, newName); });
}

std::error_code MakeDirectory(const Path& path) {
    return Changing(IoKind::MakeDirectory, NamesChange(ChangeKind::MakeDirectory, path),
                    [&] { return single::MakeDirectory(path); });
}

std::error_code MissingDirectories(const Path& path, std::vector<Path>& missing) {
    missing.clear();
    for (Path current = path; !current.empty(); current = current.parent_path()) {
        FileStatus status;
        if (auto error = durable::Status(current, status)) return error;
        if (status.kind == FileKind::Directory) break;
        if (status.kind != FileKind::Missing) return std::make_error_code(std::errc::not_a_directory);
        missing.insert(missing.begin(), current);
        if (current == current.parent_path()) break;
    }
    return {};
}

std::error_code RemoveDirectory(const Path& path) {
    return Changing(IoKind::Remove, NamesChange(ChangeKind::RemoveDirectory, path),
                    [&] { return single::RemoveDirectory(path); });
}

bool ReplacesFilesHeldOpen() { return single::ReplacesFilesHeldOpen(); }

// Tried without waiting, again and again, so that the wait is bounded; the
// system releases the lock when its holder dies.
std::error_code LockExclusive(FileHandle file, std::chrono::milliseconds limit) {
    return fileio::TryWhileBusy(
        limit, [&](bool& busy) { return Checked(IoKind::Lock, [&] { return single::TryLock(file, busy); }); });
}

}  // namespace kvd::durable
