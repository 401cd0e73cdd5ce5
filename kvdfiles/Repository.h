// A repository: the directory that holds the index and, at their
// destinations, the stored copies of the files the index lists.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "kvdfiles/Commit.h"
#include "kvdfiles/IndexImage.h"
#include "kvdfiles/IndexWalk.h"
#include "kvdfiles/platform/DurableFiles.h"

namespace kvd {

// How an operation ended; the values are the statuses the exports return.
enum class Outcome : std::int32_t {
    Ok = 0,
    InvalidArgument = 1,
    NotFound = 2,
    AlreadyExists = 3,
    TargetInUse = 4,
    IoError = 5,
    LockTimeout = 6,
    BadIndex = 7,
    TooLarge = 8,
    WrongState = 9,
    OutOfMemory = 10,
    InternalError = 11,
    ContentDiffers = 12,
};

// What stands at the place of an entry's stored copy. Unverified: a regular
// file of the recorded size, for an entry with no checksum recorded.
enum class StoredCopy { Whole, Missing, SizeDiffers, NotAFile, Unreadable, ContentDiffers, Unverified };

Outcome OutcomeOf(IndexStatus status);

struct NewEntry {
    std::u16string id;
    std::u16string target;  // the destination as the caller gave it
    std::u16string version;
    std::u16string description;
    std::uint32_t permissions = 0;
};

class Repository {
public:
    static constexpr std::string_view kIndexName = "ZarnRepository.bin";
    static constexpr std::string_view kLockName = "ZarnRepository.lock";
    static constexpr std::string_view kIndexBackupName = "ZarnRepository.bin.bak";
    // What the tool appends to a changed file's name for its backup copy.
    static constexpr std::string_view kBackupSuffix = ".bak";

    // Nothing when directory is not an existing directory or holds an index
    // that cannot be read or is not valid. A relative directory is resolved
    // against the current directory now.
    static std::unique_ptr<Repository> Open(std::wstring_view directory);

    // Lookups and listings see the index as read at the open or written by
    // this object's last change, and read it as they need.
    Outcome Find(std::u16string_view id, IndexEntry& entry);
    // The entries in identifier order. The first call reads and checks
    // whatever of the index lookups have not read yet.
    Outcome CountEntries(std::uint32_t& count);
    Outcome EntryAt(std::uint32_t position, IndexEntry& entry);
    // The same entries, read front to back as they are asked for.
    IndexWalk WalkEntries() const { return IndexWalk(index_); }

    // Checks an entry about to be added, without writing anything.
    Outcome CheckNewEntry(const NewEntry& entry) { return CheckNewEntry(index_, entry); }

    // Opens entry's stored copy to be read: a regular file of at most
    // 4 GiB - 1 bytes, its size in size.
    Outcome OpenStoredCopy(const IndexEntry& entry, durable::FileHandle& file, std::uint64_t& size) const;
    // What stands at the place of entry's stored copy now; the size of a
    // regular file there in foundSize. A file of the recorded size is read
    // whole and checked against the recorded checksum.
    StoredCopy ExamineStoredCopy(const IndexEntry& entry, std::uint64_t& foundSize) const;
    // Whether content of size bytes with this checksum is entry id's as the
    // index holds it now, after any writer that is committing has finished:
    // a reader that found other content than it expected may have met a
    // change in the middle.
    bool IsCurrentContent(std::u16string_view id, std::uint64_t size, std::uint32_t checksum) const;
    // The destination of entry as a path of this system, relative ones as
    // given: one given on Windows has its '\' turned into '/' elsewhere.
    static void AssignDestination(const IndexEntry& entry, std::wstring& destination);
    // The same for a destination already decoded, wide or UTF-8.
    static void UseLocalSeparators(bool givenOnWindows, std::wstring& destination);
    static void UseLocalSeparators(bool givenOnWindows, std::string& destination);

    // The writers: each takes the lock, reads the index again, and commits.
    Outcome AddEntry(const NewEntry& entry, Content content);
    Outcome ReplaceContent(std::u16string_view id, Content content);
    Outcome RemoveEntry(std::u16string_view id);

private:
    Repository(durable::Path directory, IndexImage index);

    std::error_code OpenLockFile(durable::FileHandle& lockFile) const;
    template <typename Change>
    Outcome ChangeUnderLock(Change change);
    template <typename Change>
    Outcome LockedChange(durable::FileHandle lockFile, Change change);
    Outcome SettleLeftovers(durable::FileHandle lockFile) const;

    // Where an entry's stored copy lives.
    durable::Path StoredPath(const IndexEntry& entry) const;
    Outcome CheckNewEntry(IndexImage& index, const NewEntry& entry) const;
    Outcome CheckTarget(IndexImage& index, std::u16string_view target) const;
    bool IsRepositoryFileName(const durable::Path& path) const;
    Outcome CheckNotAStoredCopy(IndexImage& index, const durable::Path& path) const;
    Outcome CheckNoStoredCopyAt(IndexImage& index, const durable::Path& place) const;

    Outcome Store(IndexImage& index, durable::FileHandle lockFile, IndexEntry entry, Content content);
    // How a change reaches the index file, and the index it leaves.
    struct IndexPlan {
        IndexImage next;
        std::uint64_t generation = 0;  // the one the commit writes
        std::uint64_t appendAt = 0;    // as in ChangeIntent
        bool indexExisted = false;
        // What the commit writes: the change record when it is appended,
        // else the whole new index file.
        std::span<const std::uint8_t> Written(const IndexChange& change) const;
    };
    static Outcome PlanIndex(IndexImage& index, const std::optional<IndexChange>& change, IndexPlan& plan);
    static Outcome BuildIndex(IndexImage& index, const IndexChange& change, IndexPlan& plan);
    ChangeIntent IntentFor(const IndexPlan& plan, const durable::Path& destination, bool destinationExisted) const;

    durable::Path IndexPath() const { return directory_ / kIndexName; }
    durable::Path LockPath() const { return directory_ / kLockName; }

    durable::Path directory_;  // absolute
    IndexImage index_;
};

}  // namespace kvd
