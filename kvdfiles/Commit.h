// The commit sequence: how a change of a stored copy and of the index reaches
// the disk so that a crash or an I/O error at any step leaves either the old
// state or the new one. Called with the writers' lock held.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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

// Gives the bytes a commit writes to the index once the content's checksum
// is known (the CRC-32C of all of it): the change record to append, or the
// whole new index file. They must be what intent planned for.
using IndexFor = std::function<std::error_code(std::uint32_t checksum, std::span<const std::uint8_t>& newIndex)>;

// Makes content the stored copy at intent.destination, summing it as it is
// written, and what indexFor gives the index: a whole new index file, or
// when intent.appendAt is set, the change record to append to the index.
std::error_code CommitContent(durable::FileHandle lockFile, ChangeIntent intent, Content content,
                              const IndexFor& indexFor);
// Makes newIndex the index, in the same way, and deletes the stored copy at
// intent.destination.
std::error_code CommitRemoval(durable::FileHandle lockFile, ChangeIntent intent,
                              std::span<const std::uint8_t> newIndex);

}  // namespace kvd
