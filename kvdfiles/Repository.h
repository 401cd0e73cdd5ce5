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
#include "kvdfiles/IndexFormat.h"
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
};

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

    // The index as read at the open or written by this object's last change;
    // a listing of it needs LoadIndex() first.
    const IndexImage& Index() const { return index_; }
    Outcome LoadIndex() const;
    Outcome Find(std::u16string_view id, IndexEntry& entry) const;
    // Where a destination's stored copy lives.
    durable::Path StoredPath(std::u16string_view destination) const;

    // Checks an entry about to be added, without touching the disk.
    Outcome CheckNewEntry(const NewEntry& entry) const { return CheckNewEntry(index_, entry); }

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

    Outcome CheckNewEntry(const IndexImage& index, const NewEntry& entry) const;
    Outcome CheckTarget(const IndexImage& index, std::u16string_view target) const;
    bool IsRepositoryFileName(const durable::Path& path) const;
    Outcome CheckNotAStoredCopy(const IndexImage& index, const durable::Path& path) const;
    Outcome CheckNoStoredCopyAt(const IndexImage& index, const durable::Path& place) const;

    Outcome Store(const IndexImage& index, durable::FileHandle lockFile, const IndexEntry& entry,
                  Content content);
    // How a change reaches the index file, and the index it leaves.
    struct IndexPlan {
        IndexImage next;
        std::uint64_t appendAt = 0;  // as in ChangeIntent
        bool indexExisted = false;
        // What the commit writes: the change record when it is appended,
        // else the whole new index file.
        std::span<const std::uint8_t> Written(const IndexChange& change) const;
    };
    static Outcome PlanIndex(const IndexImage& index, const std::optional<IndexChange>& change, IndexPlan& plan);
    ChangeIntent IntentFor(const IndexPlan& plan, const durable::Path& destination, bool destinationExisted) const;

    durable::Path IndexPath() const { return directory_ / kIndexName; }
    durable::Path LockPath() const { return directory_ / kLockName; }

    durable::Path directory_;  // absolute
    IndexImage index_;
};

}  // namespace kvd
