#include "kvdfiles/Commit.h"

#include "kvdfiles/platform/FaultInjection.h"

namespace kvd {
namespace {

using durable::FileHandle;
using durable::Path;
using faults::CrashPoint;

// Writes a whole new file and flushes it; with checksum, sums the content as
// it goes. On any failure the file is removed and the flush is not tried
// again: after a failed fsync the kernel may have dropped the data while a
// second fsync reports success.
std::error_code WriteTempFile(const Path& temp, Content content, const Path* permissionsFrom,
                              std::uint32_t* checksum = nullptr) {
    FileHandle file;
    if (auto error = durable::CreateNew(temp, file)) return error;
    std::error_code error;
    if (permissionsFrom != nullptr) error = durable::CopyPermissions(*permissionsFrom, file);
    if (!error) error = durable::WriteAt(file, 0, content.data, content.size, checksum);
    if (!error) error = durable::SyncFile(file);
    const std::error_code closeError = durable::CloseWritten(file);
    if (!error) error = closeError;
    if (error) durable::RemoveIfPresent(temp);  // if this fails too, the journal still names it
    return error;
}

bool LinksUnsupported(std::error_code error) {
    return error == std::errc::operation_not_permitted || error == std::errc::not_supported ||
           error == std::errc::operation_not_supported;
}

// A second name for the old file, so that the change can be undone after the
// new file has taken its place. A file system without hard links gives no
// way back; the change still goes through, only without undo.
std::error_code KeepOldFile(const Path& file, const Path& backup) {
    const std::error_code error = durable::LinkFile(file, backup);
    return LinksUnsupported(error) ? std::error_code{} : error;
}

// Undoes whatever of the change reached the disk. When that fails too, the
// journal stays for the next writer, which settles the change first.
std::error_code Abandon(FileHandle lockFile, const ChangeIntent& intent, std::error_code cause) {
    if (!Settle(intent, false)) ClearJournal(lockFile);
    return cause;
}

// Puts a change record at the end of the index. Once it is there whole, the
// change is committed; the flush makes it survive a power loss.
std::error_code AppendToIndex(const ChangeIntent& intent, std::span<const std::uint8_t> change) {
    FileHandle file;
    if (auto error = durable::OpenExisting(intent.index, file)) return error;
    durable::FileStatus status;
    std::error_code error = durable::Status(file, status);
    // Any other size means the file is not the index the change was made for.
    if (!error && status.size != intent.appendAt) error = std::make_error_code(std::errc::io_error);
    if (!error) error = durable::WriteAt(file, intent.appendAt, change.data(), change.size());
    if (!error) CrashPoint("index-change-written");
    if (!error) error = durable::SyncFile(file);
    const std::error_code closeError = durable::CloseWritten(file);
    return error ? error : closeError;
}

// The commit point: the new index file takes the old one's name, or the
// change record is appended to the index.
std::error_code PublishIndex(const ChangeIntent& intent, std::span<const std::uint8_t> newIndex) {
    if (intent.appendAt != 0) return AppendToIndex(intent, newIndex);
    return durable::RenameOver(intent.indexTemp, intent.index);
}

// The end of every commit, once the new index is in place.
std::error_code FinishCommit(FileHandle lockFile, const ChangeIntent& intent) {
    // A rename is the commit point, but only this flush makes it survive a
    // power loss; if it fails the change is undone rather than left to chance.
    if (intent.appendAt == 0) {
        if (auto error = durable::SyncDirectory(intent.index.parent_path())) return Abandon(lockFile, intent, error);
        CrashPoint("index-directory-synced");
    }
    // The commit stands; leftovers of a failed cleanup stay named in the
    // journal and the next writer removes them.
    if (Settle(intent, true)) return {};
    CrashPoint("backups-removed");
    ClearJournal(lockFile);
    CrashPoint("journal-cleared");
    return {};
}

// Steps shared by both kinds of change until the first visible one.
std::error_code Prepare(const ChangeIntent& intent, std::span<const std::uint8_t> newIndex) {
    // The index temporary goes beside the index so the rename stays inside one
    // directory, which is what makes it atomic.
    if (intent.appendAt == 0) {
        if (auto error = WriteTempFile(intent.indexTemp, {newIndex.data(), newIndex.size()}, nullptr)) return error;
        CrashPoint("index-temp-written");
    }
    if (!intent.indexExisted || intent.appendAt != 0) return {};
    if (auto error = KeepOldFile(intent.index, intent.indexBackup)) return error;
    CrashPoint("index-backup-linked");
    return {};
}

std::error_code StoreSteps(const ChangeIntent& intent, Content content, const IndexFor& indexFor) {
    const Path* permissionsFrom = intent.destinationExisted ? &intent.destination : nullptr;
    std::uint32_t checksum = 0;
    if (auto error = WriteTempFile(intent.contentTemp, content, permissionsFrom, &checksum)) return error;
    CrashPoint("content-temp-written");
    std::span<const std::uint8_t> newIndex;
    if (auto error = indexFor(checksum, newIndex)) return error;
    if (auto error = Prepare(intent, newIndex)) return error;
    if (intent.destinationExisted) {
        if (auto error = KeepOldFile(intent.destination, intent.destinationBackup)) return error;
        CrashPoint("content-backup-linked");
        // The second name must reach the disk before the rename takes the
        // first one: within a folder a power loss may keep the later change
        // and drop the earlier, and the old content would be gone.
        if (auto error = durable::SyncDirectory(intent.destination.parent_path())) return error;
        CrashPoint("content-backup-synced");
    }
    // Rename replaces the stored copy in one step: a reader sees the old
    // content or the new one, never a mix.
    if (auto error = durable::RenameOver(intent.contentTemp, intent.destination)) return error;
    CrashPoint("content-renamed");
    // The new content must be durable before the index that describes it.
    if (auto error = durable::SyncDirectory(intent.destination.parent_path())) return error;
    CrashPoint("content-directory-synced");
    return PublishIndex(intent, newIndex);
}

std::error_code RemovalSteps(const ChangeIntent& intent, std::span<const std::uint8_t> newIndex) {
    if (auto error = Prepare(intent, newIndex)) return error;
    if (intent.destinationExisted) {
        // Moved aside, not deleted: until the index commits it can come back.
        if (auto error = durable::RenameOver(intent.destination, intent.destinationBackup)) return error;
        CrashPoint("content-moved-aside");
        if (auto error = durable::SyncDirectory(intent.destination.parent_path())) return error;
        CrashPoint("content-directory-synced");
    }
    return PublishIndex(intent, newIndex);
}

void NameTemporaries(ChangeIntent& intent) {
    if (intent.appendAt != 0) return;
    intent.indexTemp = durable::SiblingName(intent.index, ".tmp");
    intent.indexBackup = durable::SiblingName(intent.index, ".old");
}

// Each new folder is flushed into its parent at once: without that a power
// loss could drop the folder and every file later put in it.
std::error_code MakeFolders(const ChangeIntent& intent) {
    for (const Path& folder : intent.newFolders) {
        if (auto error = durable::MakeDirectory(folder)) return error;
        if (auto error = durable::SyncDirectory(durable::ParentOf(folder))) return error;
    }
    return {};
}

std::error_code Begin(FileHandle lockFile, const ChangeIntent& intent) {
    // Written and flushed before anything is created, so that a writer that
    // dies from here on, or loses its power, leaves a record of every name it
    // may have used, and the next writer can settle what it left.
    if (auto error = WriteJournal(lockFile, intent)) return error;
    CrashPoint("journal-written");
    if (auto error = durable::SyncData(lockFile)) return error;
    CrashPoint("journal-synced");
    if (intent.newFolders.empty()) return {};
    if (auto error = MakeFolders(intent)) return error;
    CrashPoint("folders-made");
    return {};
}

}  // namespace

std::error_code CommitContent(FileHandle lockFile, ChangeIntent intent, Content content, const IndexFor& indexFor) {
    NameTemporaries(intent);
    intent.contentTemp = durable::SiblingName(intent.destination, ".tmp");
    intent.destinationBackup = durable::SiblingName(intent.destination, ".old");
    if (auto error = Begin(lockFile, intent)) return Abandon(lockFile, intent, error);
    if (auto error = StoreSteps(intent, content, indexFor)) return Abandon(lockFile, intent, error);
    CrashPoint("index-committed");
    return FinishCommit(lockFile, intent);
}

std::error_code CommitRemoval(FileHandle lockFile, ChangeIntent intent, std::span<const std::uint8_t> newIndex) {
    NameTemporaries(intent);
    intent.contentTemp.clear();
    intent.newFolders.clear();
    intent.destinationBackup = durable::SiblingName(intent.destination, ".old");
    if (auto error = Begin(lockFile, intent)) return Abandon(lockFile, intent, error);
    if (auto error = RemovalSteps(intent, newIndex)) return Abandon(lockFile, intent, error);
    CrashPoint("index-committed");
    return FinishCommit(lockFile, intent);
}

}  // namespace kvd
