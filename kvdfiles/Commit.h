// The commit sequence: how a change of a stored copy and of the index reaches
// the disk so that a crash or an I/O error at any step leaves either the old
// state or the new one. Called with the writers' lock held.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <system_error>
#include <vector>

#include "kvdfiles/Journal.h"
#include "kvdfiles/platform/DurableFiles.h"

namespace kvd {

struct Content {
    const void* data = nullptr;
    std::size_t size = 0;
};

// Makes content the stored copy at intent.destination and newIndex the index:
// a whole new index file, or when intent.appendAt is set, the change record
// to append to the index.
std::error_code CommitContent(durable::FileHandle lockFile, ChangeIntent intent, Content content,
                              std::span<const std::uint8_t> newIndex);
// Makes newIndex the index, in the same way, and deletes the stored copy at
// intent.destination.
std::error_code CommitRemoval(durable::FileHandle lockFile, ChangeIntent intent,
                              std::span<const std::uint8_t> newIndex);

}  // namespace kvd
