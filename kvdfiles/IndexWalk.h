// The entries of an index in identifier order, read front to back: the base
// a window of checked blocks at a time, the changes merged in as it goes. A
// listing of any size needs no more memory than a window.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "kvdfiles/IndexImage.h"

namespace kvd {

class IndexWalk {
public:
    // Walks image as it is now, whatever becomes of image later.
    explicit IndexWalk(const IndexImage& image);

    // The next entry's record: its fields lie in bytes as view says, valid
    // until the next call. False at the end, and when a read or a check
    // failed (Status() tells).
    bool Next(const std::uint8_t*& bytes, record::View& view);
    IndexStatus Status() const { return status_; }

private:
    using RecordBytes = IndexBase::RecordBytes;
    using Changes = IndexImage::Changes;

    bool NextBaseRecord();
    bool WindowRecord();
    bool ExtendWindow();
    bool Fail(IndexStatus status);
    int BaseBeforeChange();

    std::shared_ptr<IndexBase> base_;
    const Changes changes_;
    Changes::const_iterator change_;
    std::uint32_t position_ = 0;  // of the next base record
    std::size_t offset_ = 0;      // where it starts in the checked bytes
    std::vector<std::uint8_t> previousId_;
    // The base record read and not yet given out, and where its fields lie
    // (from pendingBytes_).
    bool pendingBase_ = false;
    const std::uint8_t* pendingBytes_ = nullptr;
    record::View pending_;
    IndexBytes window_;  // checked bytes from windowBegin_
    std::size_t windowBegin_ = 0;
    IndexStatus status_ = IndexStatus::Ok;
};

}  // namespace kvd
