#include "kvdfiles/IndexWalk.h"

#include <algorithm>

#include "kvdfiles/CheckedBlocks.h"

namespace kvd {
namespace {

constexpr std::size_t kBlockSize = CheckedBlocks::kBlockSize;
// Blocks read at a time: a listing holds no more of the base than this, and
// one record that needs more.
constexpr std::size_t kWindowBlocks = 64;

}  // namespace

IndexWalk::IndexWalk(const IndexImage& image)
    : base_(image.base_),
      changes_(image.changes_),
      change_(changes_.begin()),
      offset_(base_->RecordsBegin()),
      windowBegin_(offset_ / kBlockSize * kBlockSize) {}

bool IndexWalk::Next(const std::uint8_t*& bytes, record::View& view) {
    while (status_ == IndexStatus::Ok) {
        if (!pendingBase_ && position_ < base_->Count() && !NextBaseRecord()) return false;
        const int order = BaseBeforeChange();
        if (order < 0) {
            bytes = pendingBytes_;
            view = pending_;
            pendingBase_ = false;
            return true;
        }
        if (change_ == changes_.end()) return false;
        // The change puts or removes the entry of its identifier, the base's
        // record of it too.
        if (order == 0) pendingBase_ = false;
        const auto& changed = change_->second;
        ++change_;
        if (changed) {
            bytes = changed->data();
            view = record::ViewOf(changed->data(), changed->size());
            return true;
        }
    }
    return false;
}

// Negative when the base's record comes first, 0 when the change is of its
// identifier, positive when the change comes first or the base is done.
int IndexWalk::BaseBeforeChange() {
    if (!pendingBase_) return 1;
    if (change_ == changes_.end()) return -1;
    const std::string& changeId = change_->first;
    return record::CompareTexts(pendingBytes_ + pending_.id.begin, pending_.id.end - pending_.id.begin,
                                reinterpret_cast<const std::uint8_t*>(changeId.data()), changeId.size());
}

bool IndexWalk::NextBaseRecord() {
    if (!base_->Loaded()) return WindowRecord();
    // A base held whole was checked whole.
    const RecordBytes record = base_->RecordAt(position_++);
    pendingBytes_ = record.data;
    pending_ = record::ViewOf(record.data, record.size);
    pendingBase_ = true;
    return true;
}

// The record at offset_, from the window of checked bytes, which grows
// until it holds the whole record; the records must rise by identifier and
// fill their place in the base exactly.
bool IndexWalk::WindowRecord() {
    for (;;) {
        const std::size_t end = std::min(windowBegin_ + window_.size(), base_->RecordsEnd());
        std::size_t at = offset_ - windowBegin_;
        record::View view;
        if (offset_ < end && record::Parse(window_.data(), at, end - windowBegin_, view)) {
            const bool rises =
                position_ == 0 || record::CompareTexts(window_.data() + view.id.begin, view.id.end - view.id.begin,
                                                       previousId_.data(), previousId_.size()) > 0;
            offset_ = windowBegin_ + at;
            ++position_;
            if (!rises || (position_ == base_->Count() && offset_ != base_->RecordsEnd())) {
                return Fail(IndexStatus::Invalid);
            }
            previousId_.assign(window_.data() + view.id.begin, window_.data() + view.id.end);
            pendingBytes_ = window_.data();
            pending_ = view;
            pendingBase_ = true;
            return true;
        }
        if (end >= base_->RecordsEnd()) return Fail(IndexStatus::Invalid);
        if (!ExtendWindow()) return false;
    }
}

// Drops the blocks before offset_ and reads the ones after the window.
bool IndexWalk::ExtendWindow() {
    const std::size_t keepFrom = std::max(offset_ / kBlockSize * kBlockSize, windowBegin_);
    const std::size_t windowEnd = windowBegin_ + window_.size();
    window_.erase(window_.begin(), window_.begin() + static_cast<std::ptrdiff_t>(keepFrom - windowBegin_));
    windowBegin_ = keepFrom;
    const std::size_t first = windowEnd / kBlockSize;
    const std::size_t blocks = std::max(kWindowBlocks, window_.size() / kBlockSize);
    const IndexStatus read = base_->ReadBlocksInto(first, first + blocks, window_);
    return read == IndexStatus::Ok || Fail(read);
}

bool IndexWalk::Fail(IndexStatus status) {
    status_ = status;
    return false;
}

}  // namespace kvd
