#include "kvdfiles/Repository.h"

#include <algorithm>
#include <atomic>
#include <chrono>

#include "kvdfiles/Crc32c.h"
#include "kvdfiles/LittleEndian.h"
#include "kvdfiles/Utf16Text.h"
#include "kvdfiles/platform/FaultInjection.h"

namespace kvd {
namespace {

using durable::FileHandle;
using durable::FileKind;
using durable::FileStatus;
using durable::Path;

// Long enough for any honest writer to finish, short enough that a command
// never hangs on a lock.
constexpr std::chrono::milliseconds kLockWait{30000};
// Change records are appended to the index until they reach this size; the
// next change writes a new index with all of them folded in. Each open reads
// and applies them, so they stay small next to the cost of a new index.
constexpr std::uint64_t kChangesLimit = 256 * 1024;
// Whether this system gives destinations with '\\' between folders.
constexpr bool kWindowsPaths = Path::preferred_separator == '\\';
// Stored copies are read in pieces of this size to be checked.
constexpr std::size_t kCheckPiece = std::size_t{1} << 20;

struct IndexRead {
    Outcome outcome = Outcome::Ok;
    IndexImage image;
};

// Ok when found, NotFound when not; an index that cannot be read or checked
// where the lookup leads is an error.
Outcome FindIn(IndexImage& index, std::u16string_view id, IndexEntry& entry) {
    switch (index.Lookup(id, entry)) {
        case LookupStatus::Found: return Outcome::Ok;
        case LookupStatus::Missing: return Outcome::NotFound;
        case LookupStatus::Unreadable: return Outcome::IoError;
        case LookupStatus::Invalid: break;
    }
    return Outcome::BadIndex;
}

// Index files kept open for lookups. Past this many, an index is read whole
// when it is opened and not kept, so that a caller that holds many
// repository objects does not run out of open files.
constexpr int kMostIndexFilesKept = 64;

// The index file, read through a handle kept open: a lookup that reads more
// of it later still reads the file it started with, even after a writer has
// put a new one in its place.
class IndexFile : public IndexSource {
public:
    explicit IndexFile(FileHandle file) : file_(file) { ++kept_; }
    IndexFile(const IndexFile&) = delete;
    IndexFile& operator=(const IndexFile&) = delete;
    ~IndexFile() override {
        durable::CloseRead(file_);
        --kept_;
    }

    static int Kept() { return kept_; }

    bool ReadAt(std::uint64_t offset, std::uint8_t* into, std::size_t size) override {
        std::size_t count = 0;
        return !durable::ReadAt(file_, offset, into, size, count) && count == size;
    }

private:
    FileHandle file_;
    static inline std::atomic<int> kept_{0};
};

// Opens the index, or only its first limit bytes. The rest of it is read as
// lookups need it, except where a file held open cannot be replaced, or
// enough index files are kept open already: then it is read whole now and
// not kept.
IndexRead ReadIndexFile(const Path& path, std::uint64_t limit = UINT64_MAX) {
    FileHandle file;
    if (const auto error = durable::OpenForReading(path, file)) {
        if (error == std::errc::no_such_file_or_directory) return {};  // an empty repository
        return {Outcome::IoError, {}};
    }
    const auto source = std::make_shared<IndexFile>(file);
    FileStatus status;
    if (durable::Status(file, status)) return {Outcome::IoError, {}};
    if (status.kind != FileKind::Regular || status.size > UINT32_MAX) return {Outcome::BadIndex, {}};
    IndexRead read;
    IndexStatus opened = IndexImage::Open(source, std::min(status.size, limit), read.image);
    const bool keep = durable::ReplacesFilesHeldOpen() && IndexFile::Kept() <= kMostIndexFilesKept;
    if (opened == IndexStatus::Ok && !keep) opened = read.image.Load();
    read.outcome = OutcomeOf(opened);
    return read;
}

// Whether the index file is still the one known: same size, header and
// final checksum. Any error reading it is an error of the writer, like any
// other.
std::error_code CompareWithKnown(const Path& path, const IndexImage& known, bool& unchanged) {
    unchanged = false;
    const IndexFileMark& mark = known.FileMark();
    if (mark.size == 0) return {};
    FileHandle file;
    if (const auto error = durable::OpenForReading(path, file)) {
        return error == std::errc::no_such_file_or_directory ? std::error_code{} : error;
    }
    FileStatus status;
    IndexFileMark found;
    std::uint8_t trailer[4];
    std::size_t headerCount = 0;
    std::size_t trailerCount = 0;
    std::error_code error = durable::Status(file, status);
    if (!error && status.size == mark.size) {
        error = durable::ReadAt(file, 0, found.header.data(), found.header.size(), headerCount);
        if (!error) error = durable::ReadAt(file, status.size - 4, trailer, sizeof trailer, trailerCount);
        found.size = status.size;
        found.lastWord = ReadU32(trailer);
        unchanged = !error && headerCount == found.header.size() && trailerCount == sizeof trailer && found == mark;
    }
    durable::CloseRead(file);
    return error;
}

Outcome LockOutcome(std::error_code error) {
    return error == std::errc::timed_out ? Outcome::LockTimeout : Outcome::IoError;
}

// An index that fails its checks may end in a change record that a writer
// is appending right now, or one that a writer died appending. Under the
// writers' lock nothing is being appended: an unfinished change named by
// the journal is left out, and anything else wrong is a bad index.
IndexRead ReadIndexUnderLock(const Path& directory, const IndexRead& unlocked) {
    FileHandle lockFile;
    // No lock file: no writer ever appended.
    if (durable::OpenExisting(directory / Repository::kLockName, lockFile)) return unlocked;
    IndexRead read;
    if (const auto error = durable::LockExclusive(lockFile, kLockWait)) {
        read.outcome = LockOutcome(error);
    } else {
        read = ReadIndexFile(directory / Repository::kIndexName);
        std::optional<ChangeIntent> intent;
        if (read.outcome == Outcome::BadIndex && !ReadJournal(lockFile, intent) && intent && intent->appendAt != 0) {
            read = ReadIndexFile(directory / Repository::kIndexName, intent->appendAt);
        }
    }
    durable::CloseRead(lockFile);
    return read;
}

std::int64_t NowMicros() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::microseconds>(now).count();
}

// What stands at path (FileKind::Missing for nothing); nothing when it
// cannot be examined.
std::optional<FileStatus> StatusAt(const Path& path) {
    FileStatus status;
    if (durable::Status(path, status)) return std::nullopt;
    return status;
}

// The checksum of the whole file at path.
std::error_code SumStoredCopy(const Path& path, std::uint32_t& checksum) {
    FileHandle file;
    if (auto error = durable::OpenForReading(path, file)) return error;
    std::vector<std::uint8_t> piece(kCheckPiece);
    checksum = 0;
    std::error_code error;
    for (std::uint64_t offset = 0;; offset += piece.size()) {
        std::size_t count = 0;
        error = durable::ReadAt(file, offset, piece.data(), piece.size(), count);
        if (!error) checksum = Crc32cExtend(checksum, piece.data(), count);
        if (error || count < piece.size()) break;
    }
    durable::CloseRead(file);
    return error;
}

// Whether a stored copy can be put at path: nothing there, or a regular file
// (holdsFile), which it replaces. A folder or another kind of file stays.
Outcome CheckPlaceForCopy(const Path& path, bool& holdsFile) {
    const auto status = StatusAt(path);
    if (!status) return Outcome::IoError;
    if (status->kind == FileKind::Directory || status->kind == FileKind::Other) return Outcome::InvalidArgument;
    holdsFile = status->kind == FileKind::Regular;
    return Outcome::Ok;
}

// Whether the stored copy opened as file is one a stream can read: a regular
// file whose size the contract's 32 bits can carry.
Outcome CheckReadableCopy(FileHandle file, std::uint64_t& size) {
    FileStatus status;
    if (durable::Status(file, status)) return Outcome::IoError;
    if (status.kind != FileKind::Regular) return Outcome::InvalidArgument;
    if (status.size > UINT32_MAX) return Outcome::TooLarge;
    size = status.size;
    return Outcome::Ok;
}

bool SameDirectory(const Path& first, const Path& second) {
    FileStatus a;
    FileStatus b;
    if (durable::Status(first, a) || durable::Status(second, b)) return false;
    return a.kind == FileKind::Directory && b.kind == FileKind::Directory && a.device == b.device && a.inode == b.inode;
}

}  // namespace

Outcome OutcomeOf(IndexStatus status) {
    switch (status) {
        case IndexStatus::Ok: return Outcome::Ok;
        case IndexStatus::Unreadable: return Outcome::IoError;
        case IndexStatus::Invalid: break;
    }
    return Outcome::BadIndex;
}

Repository::Repository(Path directory, IndexImage index) : directory_(std::move(directory)), index_(std::move(index)) {}

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
    if (read.outcome == Outcome::BadIndex) read = ReadIndexUnderLock(path, read);
    if (read.outcome != Outcome::Ok) return nullptr;
    return std::unique_ptr<Repository>(new Repository(std::move(path), std::move(read.image)));
}

Outcome Repository::Find(std::u16string_view id, IndexEntry& entry) { return FindIn(index_, id, entry); }

Outcome Repository::CountEntries(std::uint32_t& count) {
    if (const Outcome loaded = OutcomeOf(index_.Load()); loaded != Outcome::Ok) return loaded;
    count = index_.Count();
    return Outcome::Ok;
}

Outcome Repository::EntryAt(std::uint32_t position, IndexEntry& entry) {
    std::uint32_t count = 0;
    if (const Outcome counted = CountEntries(count); counted != Outcome::Ok) return counted;
    if (position >= count) return Outcome::NotFound;
    entry = index_.EntryAt(position);
    return Outcome::Ok;
}

Outcome Repository::OpenStoredCopy(const IndexEntry& entry, FileHandle& file, std::uint64_t& size) const {
    if (durable::OpenForReading(StoredPath(entry), file)) return Outcome::IoError;
    const Outcome outcome = CheckReadableCopy(file, size);
    if (outcome != Outcome::Ok) durable::CloseRead(file);
    return outcome;
}

StoredCopy Repository::ExamineStoredCopy(const IndexEntry& entry, std::uint64_t& foundSize) const {
    const auto status = StatusAt(StoredPath(entry));
    if (!status) return StoredCopy::Unreadable;
    if (status->kind == FileKind::Missing) return StoredCopy::Missing;
    if (status->kind != FileKind::Regular) return StoredCopy::NotAFile;
    foundSize = status->size;
    if (status->size != entry.contentSize) return StoredCopy::SizeDiffers;
    if (!entry.contentChecksum) return StoredCopy::Unverified;
    std::uint32_t checksum = 0;
    if (SumStoredCopy(StoredPath(entry), checksum)) return StoredCopy::Unreadable;
    return checksum == *entry.contentChecksum ? StoredCopy::Whole : StoredCopy::ContentDiffers;
}

bool Repository::IsCurrentContent(std::u16string_view id, std::uint64_t size, std::uint32_t checksum) const {
    // Without a lock file no writer ever was, so none can be in the middle.
    IndexRead read = ReadIndexUnderLock(directory_, {});
    IndexEntry entry;
    return read.outcome == Outcome::Ok && FindIn(read.image, id, entry) == Outcome::Ok && entry.contentSize == size &&
           entry.contentChecksum == checksum;
}

void Repository::AssignDestination(const IndexEntry& entry, std::wstring& destination) {
    AssignWideFromUtf16(entry.destination, destination);
    UseLocalSeparators(entry.givenOnWindows, destination);
}

void Repository::UseLocalSeparators(bool givenOnWindows, std::wstring& destination) {
    if (givenOnWindows && !kWindowsPaths) std::replace(destination.begin(), destination.end(), L'\\', L'/');
}

void Repository::UseLocalSeparators(bool givenOnWindows, std::string& destination) {
    if (givenOnWindows && !kWindowsPaths) std::replace(destination.begin(), destination.end(), '\\', '/');
}

Path Repository::StoredPath(const IndexEntry& entry) const {
    std::wstring destination;
    AssignDestination(entry, destination);
    Path path = durable::PathFromWide(destination);
    return path.is_absolute() ? path : directory_ / path;
}

Outcome Repository::AddEntry(const NewEntry& entry, Content content) {
    return ChangeUnderLock([&](IndexImage& index, FileHandle lockFile) {
        if (const Outcome check = CheckNewEntry(index, entry); check != Outcome::Ok) return check;
        const std::int64_t now = NowMicros();
        const IndexEntry stored{entry.id,     entry.target, entry.version, entry.description, entry.permissions,
                                content.size, now,          now,           std::nullopt,      kWindowsPaths};
        return Store(index, lockFile, stored, content);
    });
}

Outcome Repository::ReplaceContent(std::u16string_view id, Content content) {
    return ChangeUnderLock([&](IndexImage& index, FileHandle lockFile) {
        IndexEntry entry;
        if (const Outcome found = FindIn(index, id, entry); found != Outcome::Ok) return found;
        entry.contentSize = content.size;
        entry.changedMicros = NowMicros();
        return Store(index, lockFile, entry, content);
    });
}

Outcome Repository::RemoveEntry(std::u16string_view id) {
    return ChangeUnderLock([&](IndexImage& index, FileHandle lockFile) {
        IndexEntry entry;
        if (const Outcome found = FindIn(index, id, entry); found != Outcome::Ok) return found;
        const auto change = index.Remove(id);
        IndexPlan plan;
        if (const Outcome planned = PlanIndex(index, change, plan); planned != Outcome::Ok) return planned;
        if (const Outcome built = BuildIndex(index, *change, plan); built != Outcome::Ok) return built;
        const Path destination = StoredPath(entry);
        const auto status = StatusAt(destination);
        if (!status) return Outcome::IoError;
        // Only a regular file is the stored copy; anything else now at its
        // place was put there by someone else and stays.
        const ChangeIntent intent = IntentFor(plan, destination, status->kind == FileKind::Regular);
        if (CommitRemoval(lockFile, intent, plan.Written(*change))) return Outcome::IoError;
        index_ = std::move(plan.next);
        return Outcome::Ok;
    });
}

// The lock file is made by the first change. Its name is flushed into the
// directory at once: the journal it carries is what lets the next writer
// settle a change, so it must survive a power loss whenever the change can.
std::error_code Repository::OpenLockFile(FileHandle& lockFile) const {
    const std::error_code opened = durable::OpenExisting(LockPath(), lockFile);
    if (opened != std::errc::no_such_file_or_directory) return opened;
    if (auto error = durable::OpenOrCreate(LockPath(), lockFile)) return error;
    const std::error_code synced = durable::SyncDirectory(directory_);
    if (synced) durable::CloseRead(lockFile);
    return synced;
}

template <typename Change>
Outcome Repository::ChangeUnderLock(Change change) {
    FileHandle lockFile;
    if (OpenLockFile(lockFile)) return Outcome::IoError;
    const Outcome outcome = LockedChange(lockFile, change);
    durable::CloseRead(lockFile);  // also releases the lock
    return outcome;
}

template <typename Change>
Outcome Repository::LockedChange(FileHandle lockFile, Change change) {
    if (const auto error = durable::LockExclusive(lockFile, kLockWait)) return LockOutcome(error);
    if (const Outcome settled = SettleLeftovers(lockFile); settled != Outcome::Ok) return settled;
    // Another writer may have committed since this object read the index.
    // A commit writes a new header or makes the file longer, so an index
    // whose size, header and last checksum match the ones read before is
    // that same index, and it need not be opened again.
    bool unchanged = false;
    if (CompareWithKnown(IndexPath(), index_, unchanged)) return Outcome::IoError;
    if (unchanged) return change(index_, lockFile);
    IndexRead read = ReadIndexFile(IndexPath());
    if (read.outcome != Outcome::Ok) return read.outcome;
    return change(read.image, lockFile);
}

// Finishes or undoes the change of a writer that died holding the lock.
Outcome Repository::SettleLeftovers(FileHandle lockFile) const {
    std::optional<ChangeIntent> intent;
    bool torn = false;
    if (ReadJournal(lockFile, intent, &torn)) return Outcome::IoError;
    // What a power loss left of a journal being written stands for nothing,
    // since the change it began had not started; it goes all the same.
    if (!intent) return torn && ClearJournal(lockFile) ? Outcome::IoError : Outcome::Ok;
    const IndexRead read = ReadIndexFile(IndexPath());
    // A change record the writer did not finish is not whole: the index is
    // sound up to it, and the change did not commit.
    const bool unfinishedAppend = read.outcome == Outcome::BadIndex && intent->appendAt != 0 &&
                                  ReadIndexFile(IndexPath(), intent->appendAt).outcome == Outcome::Ok;
    if (read.outcome != Outcome::Ok && !unfinishedAppend) return read.outcome;
    const bool committed = !unfinishedAppend && read.image.Generation() == intent->newGeneration;
    if (Settle(*intent, committed) || ClearJournal(lockFile)) return Outcome::IoError;
    return Outcome::Ok;
}

Outcome Repository::CheckNewEntry(IndexImage& index, const NewEntry& entry) const {
    if (entry.id.empty() || entry.target.empty()) return Outcome::InvalidArgument;
    if (!IsValidPermissions(entry.permissions)) return Outcome::InvalidArgument;
    IndexEntry existing;
    const Outcome found = FindIn(index, entry.id, existing);
    if (found == Outcome::Ok) return Outcome::AlreadyExists;
    if (found != Outcome::NotFound) return found;
    return CheckTarget(index, entry.target);
}

Outcome Repository::CheckTarget(IndexImage& index, std::u16string_view target) const {
    IndexEntry placed;
    placed.destination = target;
    placed.givenOnWindows = kWindowsPaths;
    const Path path = StoredPath(placed);
    const Path name = path.filename();
    if (name.empty() || name == "." || name == "..") return Outcome::InvalidArgument;
    bool holdsFile = false;
    if (const Outcome place = CheckPlaceForCopy(path, holdsFile); place != Outcome::Ok) return place;
    if (IsRepositoryFileName(path)) return Outcome::InvalidArgument;
    return CheckNotAStoredCopy(index, path);
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

// Compares the place a path names with the stored copy of every entry,
// spelled alike, and with the backups the tool keeps of them (the name plus
// ".bak"): TargetInUse when the path is a stored copy or the backup of one,
// or when its own backup would be one. Otherwise a backup copy after one
// change would overwrite another entry's content.
Outcome Repository::CheckNotAStoredCopy(IndexImage& index, const Path& path) const {
    const Path normal = path.lexically_normal();
    const Path::string_type suffix = Path(kBackupSuffix).native();
    Path backup = normal;
    backup += suffix;
    Outcome outcome = CheckNoStoredCopyAt(index, normal);
    if (outcome == Outcome::Ok) outcome = CheckNoStoredCopyAt(index, backup);
    const Path::string_type name = normal.filename().native();
    if (outcome != Outcome::Ok || !name.ends_with(suffix) || name.size() == suffix.size()) return outcome;
    Path backedUp = normal;
    backedUp.replace_filename(name.substr(0, name.size() - suffix.size()));
    return CheckNoStoredCopyAt(index, backedUp);
}

// TargetInUse when an entry's stored copy is at place, spelled alike. Only
// destinations that end in the same file name can be the same place; the
// index lists them by name.
Outcome Repository::CheckNoStoredCopyAt(IndexImage& index, const Path& place) const {
    const std::u16string name = Utf16FromWide(durable::WideFromPath(place.filename()));
    std::vector<IndexEntry> named;
    if (const IndexStatus status = index.DestinationsNamed(name, named); status != IndexStatus::Ok) {
        return OutcomeOf(status);
    }
    for (const IndexEntry& entry : named) {
        if (StoredPath(entry).lexically_normal() == place) return Outcome::TargetInUse;
    }
    return Outcome::Ok;
}

// The content's checksum is summed while the content is written, after the
// journal: the change is planned with a stand-in checksum, which gives its
// record the same size, and made once the real one is known.
Outcome Repository::Store(IndexImage& index, FileHandle lockFile, IndexEntry entry, Content content) {
    entry.contentChecksum = 0;
    IndexPlan plan;
    if (const Outcome planned = PlanIndex(index, index.Put(entry), plan); planned != Outcome::Ok) return planned;
    const Path destination = StoredPath(entry);
    bool holdsFile = false;
    if (const Outcome place = CheckPlaceForCopy(destination, holdsFile); place != Outcome::Ok) return place;
    ChangeIntent intent = IntentFor(plan, destination, holdsFile);
    if (durable::MissingDirectories(destination.parent_path(), intent.newFolders)) return Outcome::IoError;
    std::optional<IndexChange> change;
    Outcome built = Outcome::Ok;
    const IndexFor indexFor = [&](std::uint32_t checksum, std::span<const std::uint8_t>& newIndex) {
        entry.contentChecksum = checksum;
        change = index.Put(entry);
        built = change ? BuildIndex(index, *change, plan) : Outcome::TooLarge;
        if (built != Outcome::Ok) return std::make_error_code(std::errc::invalid_argument);
        newIndex = plan.Written(*change);
        return std::error_code{};
    };
    if (CommitContent(lockFile, intent, content, indexFor)) return built != Outcome::Ok ? built : Outcome::IoError;
    index_ = std::move(plan.next);
    return Outcome::Ok;
}

// A change goes at the end of the index file while the change records stay
// under their limit; otherwise a new index file takes all of them in, and
// the whole index is read and checked for it, and the new one made to learn
// that it fits.
Outcome Repository::PlanIndex(IndexImage& index, const std::optional<IndexChange>& change, IndexPlan& plan) {
    if (!change) return Outcome::TooLarge;  // no generation left
    const std::uint64_t size = index.FileMark().size;
    // A repository without an index file reads as generation 0.
    plan.indexExisted = index.Generation() != 0;
    plan.generation = index.Generation() + 1;
    const bool append = index.TakesChanges() &&
                        index.ChangesSize() + change->bytes.size() <= faults::ChangesLimit(kChangesLimit) &&
                        size + change->bytes.size() <= UINT32_MAX;
    plan.appendAt = append ? size : 0;
    if (append) return Outcome::Ok;
    if (const IndexStatus loaded = index.Load(); loaded != IndexStatus::Ok) return OutcomeOf(loaded);
    return BuildIndex(index, *change, plan);
}

// The index the planned change leaves.
Outcome Repository::BuildIndex(IndexImage& index, const IndexChange& change, IndexPlan& plan) {
    if (plan.appendAt != 0) {
        plan.next = index.Appended(change);
        return Outcome::Ok;
    }
    auto next = index.Rewritten(change);
    if (!next) return Outcome::TooLarge;
    plan.next = std::move(*next);
    return Outcome::Ok;
}

std::span<const std::uint8_t> Repository::IndexPlan::Written(const IndexChange& change) const {
    if (appendAt != 0) return change.bytes;
    return next.Bytes();
}

ChangeIntent Repository::IntentFor(const IndexPlan& plan, const Path& destination, bool destinationExisted) const {
    ChangeIntent intent;
    intent.newGeneration = plan.generation;
    intent.appendAt = plan.appendAt;
    intent.indexExisted = plan.indexExisted;
    intent.destinationExisted = destinationExisted;
    intent.index = IndexPath();
    intent.destination = destination;
    return intent;
}

}  // namespace kvd
