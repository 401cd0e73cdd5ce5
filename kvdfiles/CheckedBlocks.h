// The bytes of a base and the block checksums that guard them (the blocks
// and footer of IndexFormat.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "kvdfiles/IndexFormat.h"

namespace kvd {

// Owns a base's bytes. Opened from a source, it has read and checked the
// block checksums; a block is read and checked the first time a range that
// covers it is asked for, and kept. Ranges asked for in rising order read
// the file front to back. Reading changes the object: it fills blocks, and
// the first failure stays, so that every later read fails too.
class CheckedBlocks {
public:
    CheckedBlocks() = default;
    CheckedBlocks(CheckedBlocks&&) = default;
    CheckedBlocks& operator=(CheckedBlocks&&) = default;
    CheckedBlocks(const CheckedBlocks&) = delete;
    CheckedBlocks& operator=(const CheckedBlocks&) = delete;

    // The size of a base whose checked bytes are checkedSize long.
    static std::uint64_t SealedSize(std::uint64_t checkedSize);
    // The checked bytes with their block checksums and footer appended: a
    // whole base, all of it read.
    static CheckedBlocks Seal(IndexBytes checked);
    // Reads and checks the footer and block checksums of the base of
    // baseSize bytes at the start of source.
    static IndexStatus Open(std::shared_ptr<IndexSource> source, std::uint64_t baseSize, CheckedBlocks& blocks);

    // The checked bytes from begin to end, their blocks read and checked;
    // null when the range passes the checked bytes or a read or check fails.
    const std::uint8_t* Read(std::size_t begin, std::size_t end);
    // Reads and checks every block not read yet; the source is let go then.
    IndexStatus ReadAll();
    // The checked bytes from block first up to the end of block end - 1
    // (or of the checked bytes), read and checked, appended to into and not
    // kept: for a reader that goes front to back once.
    IndexStatus ReadBlocksInto(std::size_t first, std::size_t end, IndexBytes& into);
    static constexpr std::size_t kBlockSize = 4096;
    // For checked bytes that hold no valid base: every read fails from now.
    void Refuse() { failure_ = IndexStatus::Invalid; }
    // Why a read failed: Unreadable when the source failed, else Invalid.
    IndexStatus Failure() const;

    bool Complete() const { return complete_; }
    std::size_t CheckedSize() const { return checkedEnd_; }
    // The whole base, of which only the blocks read hold their bytes yet.
    const IndexBytes& Bytes() const { return bytes_; }

private:
    bool ReadBlocks(std::size_t first, std::size_t end);

    IndexBytes bytes_;
    std::size_t checkedEnd_ = 0;
    std::vector<std::uint32_t> checksums_;
    std::vector<bool> read_;
    std::shared_ptr<IndexSource> source_;
    IndexStatus failure_ = IndexStatus::Ok;
    bool complete_ = true;  // nothing to read
};

}  // namespace kvd
