#include "kvdfiles/FileStream.h"

#include <algorithm>
#include <utility>

#include "kvdfiles/Crc32c.h"

namespace kvd {
namespace {

constexpr std::size_t kReadPiece = std::size_t{256} << 10;

}  // namespace

FileStream::FileStream(Repository& repository, NewEntry entry)
    : repository_(repository), mode_(Mode::AddPending), pending_(std::move(entry)) {}

FileStream::FileStream(Repository& repository, std::u16string id)
    : repository_(repository), mode_(Mode::Replace), id_(std::move(id)) {}

FileStream::FileStream(Repository& repository) : repository_(repository), mode_(Mode::Closed) {}

Outcome FileStream::OpenForReading(const IndexEntry& entry) {
    const Outcome opened = repository_.OpenStoredCopy(entry, file_, size_);
    if (opened != Outcome::Ok) return opened;
    mode_ = Mode::Read;
    reading_ = entry;
    return Outcome::Ok;
}

// Read in pieces that are summed while they are still in the cache.
Outcome FileStream::Read(void* buffer, std::uint32_t& size) {
    if (mode_ != Mode::Read) return Outcome::WrongState;
    const std::uint64_t wanted = std::min<std::uint64_t>(size, size_ - position_);
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    std::uint64_t count = 0;
    while (count < wanted) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(wanted - count, kReadPiece));
        std::size_t got = 0;
        if (durable::ReadAt(file_, position_, bytes + count, piece, got)) return Outcome::IoError;
        checksum_ = Crc32cExtend(checksum_, bytes + count, got);
        position_ += got;
        count += got;
        if (got < piece) break;
    }
    size = static_cast<std::uint32_t>(count);
    if (position_ == size_ && !ReadAsRecorded()) return Outcome::ContentDiffers;
    return Outcome::Ok;
}

bool FileStream::ReadAsRecorded() const {
    if (!reading_.contentChecksum) return true;
    if (size_ == reading_.contentSize && checksum_ == *reading_.contentChecksum) return true;
    return repository_.IsCurrentContent(reading_.id, size_, checksum_);
}

Outcome FileStream::Write(Content content) {
    Outcome outcome = Outcome::WrongState;
    if (mode_ == Mode::AddPending) {
        outcome = repository_.AddEntry(pending_, content);
        // Once added, further writes replace the content like a modify.
        if (outcome == Outcome::Ok) {
            id_ = pending_.id;
            mode_ = Mode::Replace;
        }
    } else if (mode_ == Mode::Replace) {
        outcome = repository_.ReplaceContent(id_, content);
    }
    if (outcome == Outcome::Ok) size_ = content.size;
    return outcome;
}

void FileStream::Close() {
    durable::CloseRead(file_);
    mode_ = Mode::Closed;
}

}  // namespace kvd
