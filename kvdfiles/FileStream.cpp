#include "kvdfiles/FileStream.h"

#include <algorithm>
#include <utility>

namespace kvd {

FileStream::FileStream(Repository& repository, NewEntry entry)
    : repository_(repository), mode_(Mode::AddPending), pending_(std::move(entry)) {}

FileStream::FileStream(Repository& repository, std::u16string id)
    : repository_(repository), mode_(Mode::Replace), id_(std::move(id)) {}

FileStream::FileStream(Repository& repository) : repository_(repository), mode_(Mode::Closed) {}

Outcome FileStream::OpenForReading(const IndexEntry& entry) {
    const Outcome opened = repository_.OpenStoredCopy(entry, file_, size_);
    if (opened == Outcome::Ok) mode_ = Mode::Read;
    return opened;
}

Outcome FileStream::Read(void* buffer, std::uint32_t& size) {
    if (mode_ != Mode::Read) return Outcome::WrongState;
    const std::uint64_t wanted = std::min<std::uint64_t>(size, size_ - position_);
    std::size_t count = 0;
    if (durable::ReadAt(file_, position_, buffer, static_cast<std::size_t>(wanted), count)) return Outcome::IoError;
    position_ += count;
    size = static_cast<std::uint32_t>(count);
    return Outcome::Ok;
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
