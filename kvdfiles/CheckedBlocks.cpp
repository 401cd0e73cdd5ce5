#include "kvdfiles/CheckedBlocks.h"

#include <algorithm>

#include "kvdfiles/Crc32c.h"
#include "kvdfiles/LittleEndian.h"

namespace kvd {
namespace {

using layout::kChecksumSize;
using layout::kHeaderSize;

constexpr std::size_t kBlockSize = CheckedBlocks::kBlockSize;
constexpr std::size_t kFooterSize = 8;  // where the block checksums start, their checksum

std::size_t BlockCount(std::size_t checkedEnd) { return (checkedEnd + kBlockSize - 1) / kBlockSize; }

}  // namespace

std::uint64_t CheckedBlocks::SealedSize(std::uint64_t checkedSize) {
    return checkedSize + kChecksumSize * BlockCount(checkedSize) + kFooterSize;
}

CheckedBlocks CheckedBlocks::Seal(IndexBytes checked) {
    CheckedBlocks blocks;
    IndexBytes& out = blocks.bytes_;
    out = std::move(checked);
    blocks.checkedEnd_ = out.size();
    for (std::size_t at = 0; at < blocks.checkedEnd_; at += kBlockSize) {
        AppendU32(out, Crc32c(out.data() + at, std::min(kBlockSize, blocks.checkedEnd_ - at)));
    }
    AppendU32(out, static_cast<std::uint32_t>(blocks.checkedEnd_));
    AppendU32(out, Crc32c(out.data() + blocks.checkedEnd_, out.size() - blocks.checkedEnd_));
    return blocks;
}

// Reads the footer and the block checksums, which the footer's checksum
// covers. The checked bytes hold a header at least.
IndexStatus CheckedBlocks::Open(std::shared_ptr<IndexSource> source, std::uint64_t baseSize, CheckedBlocks& blocks) {
    blocks = CheckedBlocks();
    blocks.source_ = std::move(source);
    blocks.complete_ = false;
    if (baseSize < kHeaderSize + kFooterSize) return IndexStatus::Invalid;
    std::uint8_t footer[kFooterSize];
    if (!blocks.source_->ReadAt(baseSize - kFooterSize, footer, kFooterSize)) return IndexStatus::Unreadable;
    const std::size_t checkedEnd = ReadU32(footer);
    const std::size_t count = BlockCount(checkedEnd);
    if (checkedEnd < kHeaderSize || SealedSize(checkedEnd) != baseSize) return IndexStatus::Invalid;
    const auto checked = static_cast<std::size_t>(baseSize) - kChecksumSize - checkedEnd;
    IndexBytes table(checked);
    if (!blocks.source_->ReadAt(checkedEnd, table.data(), checked)) return IndexStatus::Unreadable;
    if (Crc32c(table.data(), checked) != ReadU32(footer + kChecksumSize)) return IndexStatus::Invalid;
    blocks.checkedEnd_ = checkedEnd;
    blocks.checksums_.resize(count);
    for (std::size_t block = 0; block < count; ++block) blocks.checksums_[block] = ReadU32(table.data() + 4 * block);
    blocks.bytes_.resize(static_cast<std::size_t>(baseSize));
    std::copy(table.begin(), table.end(), blocks.bytes_.begin() + static_cast<std::ptrdiff_t>(checkedEnd));
    std::copy_n(footer + kChecksumSize, kChecksumSize, blocks.bytes_.end() - kChecksumSize);
    blocks.read_.assign(count, false);
    return IndexStatus::Ok;
}

const std::uint8_t* CheckedBlocks::Read(std::size_t begin, std::size_t end) {
    if (begin > end || end > checkedEnd_) return nullptr;
    if (begin != end && !ReadBlocks(begin / kBlockSize, BlockCount(end))) return nullptr;
    return bytes_.data() + begin;
}

IndexStatus CheckedBlocks::ReadAll() {
    if (!ReadBlocks(0, read_.size())) return Failure();
    complete_ = true;
    source_.reset();
    return IndexStatus::Ok;
}

IndexStatus CheckedBlocks::ReadBlocksInto(std::size_t first, std::size_t end, IndexBytes& into) {
    if (failure_ != IndexStatus::Ok) return Failure();
    const std::size_t begin = first * kBlockSize;
    const std::size_t stop = std::min(end * kBlockSize, checkedEnd_);
    if (begin >= stop) return IndexStatus::Invalid;
    const std::size_t kept = into.size();
    into.resize(kept + stop - begin);
    std::uint8_t* const read = into.data() + kept;
    if (complete_) {
        std::copy(bytes_.begin() + static_cast<std::ptrdiff_t>(begin),
                  bytes_.begin() + static_cast<std::ptrdiff_t>(stop), read);
        return IndexStatus::Ok;
    }
    if (!source_->ReadAt(begin, read, stop - begin)) return IndexStatus::Unreadable;
    for (std::size_t at = 0; at < stop - begin; at += kBlockSize) {
        const std::size_t size = std::min(kBlockSize, stop - begin - at);
        if (Crc32c(read + at, size) != checksums_[first + at / kBlockSize]) return IndexStatus::Invalid;
    }
    return IndexStatus::Ok;
}

IndexStatus CheckedBlocks::Failure() const {
    return failure_ == IndexStatus::Unreadable ? IndexStatus::Unreadable : IndexStatus::Invalid;
}

// Reads the blocks from first up to end that are not read yet, in runs, and
// checks each one.
bool CheckedBlocks::ReadBlocks(std::size_t first, std::size_t end) {
    if (failure_ != IndexStatus::Ok) return false;
    if (complete_) return true;
    for (std::size_t block = first; block < end;) {
        if (read_[block]) {
            ++block;
            continue;
        }
        std::size_t runEnd = block;
        while (runEnd < end && !read_[runEnd]) ++runEnd;
        const std::size_t begin = block * kBlockSize;
        const std::size_t stop = std::min(runEnd * kBlockSize, checkedEnd_);
        if (!source_->ReadAt(begin, bytes_.data() + begin, stop - begin)) {
            failure_ = IndexStatus::Unreadable;
            return false;
        }
        for (; block < runEnd; ++block) {
            const std::size_t at = block * kBlockSize;
            if (Crc32c(bytes_.data() + at, std::min(kBlockSize, checkedEnd_ - at)) != checksums_[block]) {
                failure_ = IndexStatus::Invalid;
                return false;
            }
            read_[block] = true;
        }
    }
    return true;
}

}  // namespace kvd
