#include "kvdfiles/Repository.h"

#include <algorithm>
#include <chrono>

#include "kvdfiles/Utf16Text.h"

namespace kvd {
namespace {

using durable::FileHandle;
using durable::FileKind;
using durable::FileStatus;
using durable::Path;

// Long enough for any honest writer to finish, short enough that a command
// never hangs on a lock.
constexpr std::chrono::milliseconds kLockWait{30000};
// The index header: magic, format version, entry count, generation, size.
constexpr std::size_t kIndexHeaderSize = 32;

struct IndexRead {
    Outcome outcome = Outcome::Ok;
    IndexImage image;
};

IndexRead ReadIndexFile(const Path& path) {
    FileHandle file;
    if (const auto error = durable::OpenForReading(path, file)) {
        if (error == std::errc::no_such_file_or_directory) return {};  // an empty repository
        return {Outcome::IoError, {}};
    }
    FileStatus status;
    std::vector<std::uint8_t> bytes;
    std::size_t count = 0;
    Outcome outcome = Outcome::Ok;
    if (durable::Status(file, status)) {
        outcome = Outcome::IoError;
    } else if (status.kind != FileKind::Regular || status.size > UINT32_MAX) {
        outcome = Outcome::BadIndex;
    } else {
        bytes.resize(static_cast<std::size_t>(status.size));
        if (durable::ReadAt(file, 0, bytes.data(), bytes.size(), count)) outcome = Outcome::IoError;
    }
    durable::CloseRead(file);
    if (outcome != Outcome::Ok) return {outcome, {}};
    if (count != bytes.size()) return {Outcome::BadIndex, {}};
    auto image = IndexImage::Parse(std::move(bytes));
    if (!image) return {Outcome::BadIndex, {}};
    return {Outcome::Ok, std::move(*image)};
}

// Whether the index file is still the one known: same size, header and
// checksum. Any error reading it is an error of the writer, like any other.
std::error_code CompareWithKnown(const Path& path, const IndexImage& known, bool& unchanged) {
    unchanged = false;
    const std::vector<std::uint8_t>& bytes = known.Bytes();
    if (bytes.size() < kIndexHeaderSize) return {};
    FileHandle file;
    if (const auto error = durable::OpenForReading(path, file)) {
        return error == std::errc::no_such_file_or_directory ? std::error_code{} : error;
    }
    FileStatus status;
    std::uint8_t header[kIndexHeaderSize];
    std::uint8_t trailer[4];
    std::size_t headerCount = 0;
    std::size_t trailerCount = 0;
    std::error_code error = durable::Status(file, status);
    if (!error && status.size == bytes.size()) {
        error = durable::ReadAt(file, 0, header, sizeof header, headerCount);
        if (!error) error = durable::ReadAt(file, status.size - 4, trailer, sizeof trailer, trailerCount);
        unchanged = !error && headerCount == sizeof header && trailerCount == sizeof trailer &&
                    std::equal(header, header + sizeof header, bytes.begin()) &&
                    std::equal(trailer, trailer + sizeof trailer, bytes.end() - 4);
    }
    durable::CloseRead(file);
    return error;
}

std::int64_t NowMicros() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::microseconds>(now).count();
}

FileStatus StatusOrMissing(const Path& path, bool& failed) {
    FileStatus status;
    failed = static_cast<bool>(durable::Status(path, status));
    return status;
}

bool SameDirectory(const Path& first, const Path& second) {
    FileStatus a;
    FileStatus b;
    if (durable::Status(first, a) || durable::Status(second, b)) return false;
    return a.kind == FileKind::Directory && b.kind == FileKind::Directory && a.device == b.device &&
           a.inode == b.inode;
}

void RemoveCreatedDirectories(const std::vector<Path>& created) {
    for (auto it = created.rbegin(); it != created.rend(); ++it) durable::RemoveDirectory(*it);
}

}  // namespace

Repository::Repository(Path directory, IndexImage index)
    : directory_(std::move(directory)), index_(std::move(index)) {}

std::unique_ptr<Repository> Repository::Open(std::wstring_view directory) {
    if (directory.empty()) return nullptr;
    Path path = durable::PathFromWide(directory);
    if (path.is_relative()) {
        Path current;
        if (durable::CurrentDirectory(current)) return nullptr;
        path = current / path;
    }
    FileStatus status;
    if (durable::Status(path, status) || status.kind != FileKind::Directory) return nullptr;
    IndexRead read = ReadIndexFile(path / kIndexName);
    if (read.outcome != Outcome::Ok) return nullptr;
    return std::unique_ptr<Repository>(new Repository(std::move(path), std::move(read.image)));
}

std::optional<IndexEntry> Repository::Find(std::u16string_view id) const {
    const auto position = index_.Find(id);
    if (!position) return std::nullopt;
    return index_.EntryAt(*position);
}

Path Repository::StoredPath(std::u16string_view destination) const {
    Path path = durable::PathFromWide(WideFromUtf16(destination));
    return path.is_absolute() ? path : directory_ / path;
}

Outcome Repository::AddEntry(const NewEntry& entry, Content content) {
    return ChangeUnderLock([&](const IndexImage& index, FileHandle lockFile) {
        if (const Outcome check = CheckNewEntry(index, entry); check != Outcome::Ok) return check;
        const std::int64_t now = NowMicros();
        const IndexEntry stored{entry.id, entry.target,  entry.version, entry.description,
                                entry.permissions, content.size, now, now};
        return Store(index, lockFile, stored, content);
    });
}

Outcome Repository::ReplaceContent(std::u16string_view id, Content content) {
    return ChangeUnderLock([&](const IndexImage& index, FileHandle lockFile) {
        const auto position = index.Find(id);
        if (!position) return Outcome::NotFound;
        IndexEntry entry = index.EntryAt(*position);
        entry.contentSize = content.size;
        entry.changedMicros = NowMicros();
        return Store(index, lockFile, entry, content);
    });
}

Outcome Repository::RemoveEntry(std::u16string_view id) {
    return ChangeUnderLock([&](const IndexImage& index, FileHandle lockFile) {
        const auto position = index.Find(id);
        if (!position) return Outcome::NotFound;
        auto next = index.WithoutEntry(*position);
        if (!next) return Outcome::TooLarge;
        const Path destination = StoredPath(index.DestinationAt(*position));
        bool failed = false;
        const FileStatus status = StatusOrMissing(destination, failed);
        if (failed) return Outcome::IoError;
        // Only a regular file is the stored copy; anything else now at its
        // place was put there by someone else and stays.
        const ChangeIntent intent = IntentFor(index, destination, status.kind == FileKind::Regular);
        if (CommitRemoval(lockFile, intent, next->Bytes())) return Outcome::IoError;
        index_ = std::move(*next);
        return Outcome::Ok;
    });
}

template <typename Change>
Outcome Repository::ChangeUnderLock(Change change) {
    FileHandle lockFile;
    if (durable::OpenOrCreate(LockPath(), lockFile)) return Outcome::IoError;
    const Outcome outcome = LockedChange(lockFile, change);
    durable::CloseRead(lockFile);  // also releases the lock
    return outcome;
}

template <typename Change>
Outcome Repository::LockedChange(FileHandle lockFile, Change change) {
    if (const auto error = durable::LockExclusive(lockFile, kLockWait)) {
        return error == std::errc::timed_out ? Outcome::LockTimeout : Outcome::IoError;
    }
    if (const Outcome settled = SettleLeftovers(lockFile); settled != Outcome::Ok) return settled;
    // Another writer may have committed since this object read the index.
    // Every commit writes a higher generation, so an index whose header and
    // checksum match the ones read before is that same index, and the whole
    // file need not be read and checked again.
    bool unchanged = false;
    if (CompareWithKnown(IndexPath(), index_, unchanged)) return Outcome::IoError;
    if (unchanged) return change(index_, lockFile);
    const IndexRead read = ReadIndexFile(IndexPath());
    if (read.outcome != Outcome::Ok) return read.outcome;
    return change(read.image, lockFile);
}

// Finishes or undoes the change of a writer that died holding the lock.
Outcome Repository::SettleLeftovers(FileHandle lockFile) const {
    std::optional<ChangeIntent> intent;
    if (ReadJournal(lockFile, intent)) return Outcome::IoError;
    if (!intent) return Outcome::Ok;
    const IndexRead read = ReadIndexFile(IndexPath());
    if (read.outcome != Outcome::Ok) return read.outcome;
    const bool committed = read.image.Generation() == intent->newGeneration;
    if (Settle(*intent, committed) || ClearJournal(lockFile)) return Outcome::IoError;
    return Outcome::Ok;
}

Outcome Repository::CheckNewEntry(const IndexImage& index, const NewEntry& entry) const {
    if (entry.id.empty() || entry.target.empty()) return Outcome::InvalidArgument;
    if (!IsValidPermissions(entry.permissions)) return Outcome::InvalidArgument;
    if (index.Find(entry.id)) return Outcome::AlreadyExists;
    return CheckTarget(index, entry.target);
}

Outcome Repository::CheckTarget(const IndexImage& index, std::u16string_view target) const {
    const Path path = StoredPath(target);
    const Path name = path.filename();
    if (name.empty() || name == "." || name == "..") return Outcome::InvalidArgument;
    bool failed = false;
    const FileStatus status = StatusOrMissing(path, failed);
    if (failed) return Outcome::IoError;
    if (status.kind == FileKind::Directory || status.kind == FileKind::Other) return Outcome::InvalidArgument;
    if (IsRepositoryFileName(path)) return Outcome::InvalidArgument;
    if (IsStoredCopyOfAnEntry(index, path)) return Outcome::TargetInUse;
    return Outcome::Ok;
}

// The index, its lock, the backup the tool makes of the index, and the
// library's own temporary names in the repository directory, whichever
// spelling of the directory the path uses.
bool Repository::IsRepositoryFileName(const Path& path) const {
    const Path name = path.filename();
    if (durable::IsSiblingName(name)) return true;
    const bool reserved = name == kIndexName || name == kLockName || name == kIndexBackupName;
    return reserved && SameDirectory(path.parent_path(), directory_);
}

// Compares the place a path names with every entry's stored copy, spelled
// alike. Only destinations that end in the same file name can be the same
// place, which spares most entries the path arithmetic.
bool Repository::IsStoredCopyOfAnEntry(const IndexImage& index, const Path& path) const {
    const Path normal = path.lexically_normal();
    const std::u16string name = Utf16FromWide(durable::WideFromPath(path.filename()));
    for (const std::uint32_t position : index.DestinationsEndingWith(name)) {
        if (StoredPath(index.DestinationAt(position)).lexically_normal() == normal) return true;
    }
    return false;
}

Outcome Repository::Store(const IndexImage& index, FileHandle lockFile, const IndexEntry& entry,
                          Content content) {
    auto next = index.WithEntry(entry);
    if (!next) return Outcome::TooLarge;
    const Path destination = StoredPath(entry.destination);
    bool failed = false;
    const FileStatus status = StatusOrMissing(destination, failed);
    if (failed) return Outcome::IoError;
    if (status.kind == FileKind::Directory || status.kind == FileKind::Other) return Outcome::InvalidArgument;
    std::vector<Path> created;
    if (durable::MakeMissingDirectories(destination.parent_path(), created)) {
        RemoveCreatedDirectories(created);
        return Outcome::IoError;
    }
    const ChangeIntent intent = IntentFor(index, destination, status.kind == FileKind::Regular);
    if (CommitContent(lockFile, intent, content, next->Bytes())) {
        RemoveCreatedDirectories(created);
        return Outcome::IoError;
    }
    index_ = std::move(*next);
    return Outcome::Ok;
}

ChangeIntent Repository::IntentFor(const IndexImage& index, const Path& destination,
                                   bool destinationExisted) const {
    ChangeIntent intent;
    intent.newGeneration = index.Generation() + 1;
    // A repository without an index file reads as generation 0.
    intent.indexExisted = index.Generation() != 0;
    intent.destinationExisted = destinationExisted;
    intent.index = IndexPath();
    intent.destination = destination;
    return intent;
}


}  // namespace kvd
