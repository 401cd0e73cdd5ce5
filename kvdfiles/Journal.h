// The writer's journal: what a change in progress has put or may put on disk,
// kept in the lock file while the writers' lock is held. A writer that dies
// leaves it behind; the next writer reads it under the lock and settles the
// change (finishes or undoes it), so no half-made change and no temporary
// file outlives the writer that made it.
#pragma once

#include <cstdint>
#include <optional>
#include <system_error>
#include <vector>

#include "kvdfiles/platform/DurableFiles.h"

namespace kvd {

struct ChangeIntent {
    std::uint64_t newGeneration = 0;  // the index generation the commit writes
    // The index's size before a change appended to it; 0 when a new index
    // file replaces the old one.
    std::uint64_t appendAt = 0;
    bool indexExisted = false;
    bool destinationExisted = false;
    durable::Path index;
    durable::Path indexTemp;
    durable::Path indexBackup;  // a second name of the old index while committing
    durable::Path destination;
    durable::Path contentTemp;        // empty for a removal
    durable::Path destinationBackup;  // the old content while committing
    // Folders the change makes for its destination, outermost first; an undo
    // removes those that are still empty.
    std::vector<durable::Path> newFolders;
};

std::error_code WriteJournal(durable::FileHandle lockFile, const ChangeIntent& intent);
// intent is empty when the lock file holds no complete journal; torn, when
// given, tells whether it holds part of one. An error means the journal could
// not be read, so what it holds is unknown.
std::error_code ReadJournal(durable::FileHandle lockFile, std::optional<ChangeIntent>& intent, bool* torn = nullptr);
std::error_code ClearJournal(durable::FileHandle lockFile);

// Brings the files of a change to its outcome: when committed, drops the
// backups; otherwise puts the old index and content back (for an appended
// change, cuts the index back to its old size) and removes the folders it
// made. Always removes the temporary files. Whatever it changes is flushed
// before it returns, so that the journal that names it can go. Repeating it
// is harmless.
std::error_code Settle(const ChangeIntent& intent, bool committed);

}  // namespace kvd
