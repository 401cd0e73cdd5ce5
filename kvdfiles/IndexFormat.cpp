#include "kvdfiles/IndexFormat.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <limits>

#include "kvdfiles/Crc32c.h"
#include "kvdfiles/LittleEndian.h"

namespace kvd {
namespace {

constexpr std::array<std::uint8_t, 8> kMagic = {'Z', 'R', 'I', 'D', 'X', '\r', '\n', 0x1A};
constexpr std::uint32_t kFormatVersion = 2;
constexpr std::uint32_t kBaseOnlyVersion = 1;  // no change records may follow
constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kVersionOffset = 8;
constexpr std::size_t kCountOffset = 12;
constexpr std::size_t kGenerationOffset = 16;
constexpr std::size_t kBaseSizeOffset = 24;
constexpr std::size_t kOffsetSize = 4;
constexpr std::size_t kChecksumSize = 4;
constexpr std::size_t kBlockSize = 4096;
constexpr std::size_t kFooterSize = 8;     // where the block checksums start, their checksum
constexpr std::size_t kNameEntrySize = 8;  // key, position
constexpr std::uint64_t kMaxFileSize = std::numeric_limits<std::uint32_t>::max();
constexpr std::array<std::uint8_t, 4> kChangeMagic = {'Z', 'R', 'C', 'H'};
constexpr std::size_t kChangeFrameSize = 8;   // magic, size
constexpr std::size_t kChangeFixedSize = 12;  // generation, kind
constexpr std::uint32_t kPutChange = 1;
constexpr std::uint32_t kRemoveChange = 2;

using RecordBytes = IndexBase::RecordBytes;

// The fields of a record already checked.
record::View ViewOf(RecordBytes bytes) {
    record::View view;
    std::size_t at = 0;
    record::Parse(bytes.data, at, bytes.size, view);
    return view;
}

std::uint32_t DestinationKey(RecordBytes bytes) { return record::NameKey(bytes.data, ViewOf(bytes).destination); }

// Orders two texts in the record form, which keeps the order of their units.
int CompareText(const std::uint8_t* a, std::size_t aSize, const std::uint8_t* b, std::size_t bSize) {
    const std::size_t commonSize = std::min(aSize, bSize);
    const int common = commonSize == 0 ? 0 : std::memcmp(a, b, commonSize);
    if (common != 0) return common < 0 ? -1 : 1;
    if (aSize == bSize) return 0;
    return aSize < bSize ? -1 : 1;
}

// Orders the identifier of a checked record against an identifier's units.
int CompareId(RecordBytes bytes, const std::vector<std::uint8_t>& id) {
    const record::Span span = ViewOf(bytes).id;
    return CompareText(bytes.data + span.begin, span.end - span.begin, id.data(), id.size());
}

// Checks records one after the other in [begin, end).
class RecordChecker {
public:
    RecordChecker(const std::uint8_t* bytes, std::size_t begin, std::size_t end)
        : bytes_(bytes), end_(end), at_(begin) {}

    // The records of a base, each where the offset table says, in rising
    // order of identifiers (which also rules out duplicates), filling the
    // range.
    bool CheckAll(std::uint32_t count) {
        record::Span previous;
        for (std::uint32_t position = 0; position < count; ++position) {
            if (ReadU32(bytes_ + kHeaderSize + kOffsetSize * position) != at_) return false;
            record::View view;
            if (!record::Parse(bytes_, at_, end_, view)) return false;
            const bool rises = position == 0 || CompareText(bytes_ + view.id.begin, view.id.end - view.id.begin,
                                                            bytes_ + previous.begin, previous.end - previous.begin) > 0;
            if (!rises) return false;
            previous = view.id;
        }
        return at_ == end_;
    }

    // One record that fills the whole range.
    bool CheckOne(record::View& view) { return record::Parse(bytes_, at_, end_, view) && at_ == end_; }

private:
    const std::uint8_t* bytes_;
    const std::size_t end_;
    std::size_t at_;
};

// The name table of records: (key, position) pairs in ascending order.
std::vector<std::pair<std::uint32_t, std::uint32_t>> NamesOf(const std::vector<RecordBytes>& records) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> names;
    names.reserve(records.size());
    for (std::size_t position = 0; position < records.size(); ++position) {
        names.emplace_back(DestinationKey(records[position]), static_cast<std::uint32_t>(position));
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The first commit writes 1; the largest value would leave no next one.
bool IsValidGeneration(std::uint64_t generation) {
    return generation != 0 && generation != std::numeric_limits<std::uint64_t>::max();
}

// The mark of a file that holds a base and nothing after it.
IndexFileMark MarkOf(const IndexBytes& base) {
    IndexFileMark mark;
    std::copy(base.begin(), base.begin() + kHeaderSize, mark.header.begin());
    mark.size = base.size();
    mark.lastWord = ReadU32(base.data() + base.size() - kChecksumSize);
    return mark;
}

std::size_t BlockCount(std::size_t blocksEnd) { return (blocksEnd + kBlockSize - 1) / kBlockSize; }

// Reads from a file already in memory.
class MemorySource : public IndexSource {
public:
    explicit MemorySource(const IndexBytes& bytes) : bytes_(bytes) {}
    bool ReadAt(std::uint64_t offset, std::uint8_t* into, std::size_t size) override {
        if (offset > bytes_.size() || bytes_.size() - offset < size) return false;
        std::copy_n(bytes_.data() + offset, size, into);
        return true;
    }

private:
    const IndexBytes& bytes_;
};

std::vector<std::uint8_t> EncodeChange(std::uint64_t generation, std::uint32_t kind,
                                       const std::vector<std::uint8_t>& body) {
    std::vector<std::uint8_t> change(kChangeMagic.begin(), kChangeMagic.end());
    AppendU32(change, static_cast<std::uint32_t>(kChangeFixedSize + body.size()));
    AppendU64(change, generation);
    AppendU32(change, kind);
    change.insert(change.end(), body.begin(), body.end());
    AppendU32(change, Crc32c(change.data(), change.size()));
    return change;
}

// Reads the change record at at, which must carry generation, and moves at
// past it. False for anything but a whole, well-formed record.
bool ReadChange(const IndexBytes& bytes, std::size_t& at, std::uint64_t generation, IndexChange& change) {
    const std::uint8_t* data = bytes.data();
    if (bytes.size() - at < kChangeFrameSize + kChangeFixedSize + kChecksumSize) return false;
    if (!std::equal(kChangeMagic.begin(), kChangeMagic.end(), data + at)) return false;
    const std::size_t size = ReadU32(data + at + 4);
    if (size < kChangeFixedSize || bytes.size() - at - kChangeFrameSize - kChecksumSize < size) return false;
    const std::size_t end = at + kChangeFrameSize + size;
    if (Crc32c(data + at, end - at) != ReadU32(data + end)) return false;
    if (ReadU64(data + at + 8) != generation || !IsValidGeneration(generation)) return false;
    const std::uint32_t kind = ReadU32(data + at + 16);
    std::size_t body = at + kChangeFrameSize + kChangeFixedSize;
    record::Span id;
    if (kind == kPutChange) {
        record::View view;
        if (!RecordChecker(data, body, end).CheckOne(view)) return false;
        change.record.emplace(data + body, data + end);
        id = view.id;
    } else if (kind != kRemoveChange || !record::ParseText(data, body, end, id) || body != end ||
               id.end == id.begin) {
        return false;
    }
    change.id = record::DecodeText(data, id);
    at = end + kChecksumSize;
    return true;
}

}  // namespace

// IndexBase

IndexStatus IndexBase::Open(std::shared_ptr<IndexSource> source, std::uint64_t fileSize, IndexBase& base) {
    base = IndexBase();
    base.source_ = std::move(source);
    if (fileSize < kHeaderSize + kChecksumSize || fileSize > kMaxFileSize) return IndexStatus::Invalid;
    base.bytes_.resize(kHeaderSize);
    if (!base.source_->ReadAt(0, base.bytes_.data(), kHeaderSize)) return IndexStatus::Unreadable;
    if (!std::equal(kMagic.begin(), kMagic.end(), base.bytes_.begin())) return IndexStatus::Invalid;
    base.version_ = ReadU32(base.bytes_.data() + kVersionOffset);
    if (base.version_ == kBaseOnlyVersion) return base.OpenVersion1(fileSize);
    if (base.version_ == kFormatVersion) return base.OpenVersion2(fileSize);
    return IndexStatus::Invalid;
}

// Version 1 has one checksum over the whole file and records of its own:
// it is read and checked whole, and held as a base of this version.
IndexStatus IndexBase::OpenVersion1(std::uint64_t fileSize) {
    if (ReadU64(bytes_.data() + kBaseSizeOffset) != fileSize) return IndexStatus::Invalid;
    IndexBytes file(static_cast<std::size_t>(fileSize));
    if (!source_->ReadAt(0, file.data(), file.size())) return IndexStatus::Unreadable;
    const std::size_t end = file.size() - kChecksumSize;
    if (Crc32c(file.data(), end) != ReadU32(file.data() + end)) return IndexStatus::Invalid;
    const std::uint32_t count = ReadU32(file.data() + kCountOffset);
    const std::uint64_t generation = ReadU64(file.data() + kGenerationOffset);
    std::size_t at = kHeaderSize + kOffsetSize * std::uint64_t{count};
    if (!IsValidGeneration(generation) || at > end) return IndexStatus::Invalid;
    std::vector<std::vector<std::uint8_t>> encoded(count);
    std::vector<RecordBytes> records(count);
    IndexEntry previous;
    for (std::uint32_t position = 0; position < count; ++position) {
        IndexEntry entry;
        if (ReadU32(file.data() + kHeaderSize + kOffsetSize * position) != at ||
            !record::ParseVersion1(file.data(), at, end, entry) || (position > 0 && !(previous.id < entry.id))) {
            return IndexStatus::Invalid;
        }
        encoded[position] = record::Encode(entry);
        records[position] = {encoded[position].data(), encoded[position].size()};
        previous = std::move(entry);
    }
    auto base = Assemble(records, generation);
    if (at != end || !base) return IndexStatus::Invalid;
    *this = std::move(*base);
    version_ = kBaseOnlyVersion;
    mark_ = MarkOf(file);
    return IndexStatus::Ok;
}

// Reads the footer and the block checksums, which the footer's checksum
// covers, and the first block, which holds the header.
IndexStatus IndexBase::OpenVersion2(std::uint64_t fileSize) {
    const std::uint64_t baseSize = ReadU64(bytes_.data() + kBaseSizeOffset);
    if (baseSize > fileSize || baseSize < kHeaderSize + kFooterSize) return IndexStatus::Invalid;
    std::uint8_t footer[kFooterSize];
    if (!source_->ReadAt(baseSize - kFooterSize, footer, kFooterSize)) return IndexStatus::Unreadable;
    checkedEnd_ = ReadU32(footer);
    const std::size_t blocks = BlockCount(checkedEnd_);
    if (checkedEnd_ < kHeaderSize || checkedEnd_ + kChecksumSize * blocks + kFooterSize != baseSize) {
        return IndexStatus::Invalid;
    }
    const auto checked = static_cast<std::size_t>(baseSize) - kChecksumSize - checkedEnd_;
    IndexBytes table(checked);
    if (!source_->ReadAt(checkedEnd_, table.data(), checked)) return IndexStatus::Unreadable;
    if (Crc32c(table.data(), checked) != ReadU32(footer + kChecksumSize)) return IndexStatus::Invalid;
    blockChecksums_.resize(blocks);
    for (std::size_t block = 0; block < blocks; ++block) blockChecksums_[block] = ReadU32(table.data() + 4 * block);
    bytes_.resize(static_cast<std::size_t>(baseSize));
    std::copy(table.begin(), table.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(checkedEnd_));
    std::copy_n(footer + kChecksumSize, kChecksumSize, bytes_.end() - kChecksumSize);
    loaded_.assign(blocks, false);
    if (!LoadBlocks(0, 1)) return failure_;
    count_ = ReadU32(bytes_.data() + kCountOffset);
    generation_ = ReadU64(bytes_.data() + kGenerationOffset);
    // The name table fills the end of the checked bytes.
    const std::uint64_t tables = (kOffsetSize + kNameEntrySize) * std::uint64_t{count_};
    if (ReadU64(bytes_.data() + kBaseSizeOffset) != baseSize || !IsValidGeneration(generation_) ||
        kHeaderSize + tables > checkedEnd_) {
        return IndexStatus::Invalid;
    }
    recordsEnd_ = checkedEnd_ - kNameEntrySize * std::size_t{count_};
    mark_ = MarkOf(bytes_);
    return IndexStatus::Ok;
}

// Reads the blocks from first up to end that are not loaded yet, in runs,
// and checks each one.
bool IndexBase::LoadBlocks(std::size_t first, std::size_t end) const {
    if (failure_ != IndexStatus::Ok) return false;
    for (std::size_t block = first; block < end;) {
        if (loaded_[block]) {
            ++block;
            continue;
        }
        std::size_t runEnd = block;
        while (runEnd < end && !loaded_[runEnd]) ++runEnd;
        const std::size_t begin = block * kBlockSize;
        const std::size_t stop = std::min(runEnd * kBlockSize, checkedEnd_);
        if (!source_->ReadAt(begin, bytes_.data() + begin, stop - begin)) {
            failure_ = IndexStatus::Unreadable;
            return false;
        }
        for (; block < runEnd; ++block) {
            const std::size_t at = block * kBlockSize;
            if (Crc32c(bytes_.data() + at, std::min(kBlockSize, checkedEnd_ - at)) != blockChecksums_[block]) {
                failure_ = IndexStatus::Invalid;
                return false;
            }
            loaded_[block] = true;
        }
    }
    return true;
}

bool IndexBase::Need(std::size_t begin, std::size_t end) const {
    if (begin > end || end > checkedEnd_) return false;
    return complete_ || begin == end || LoadBlocks(begin / kBlockSize, BlockCount(end));
}

IndexStatus IndexBase::Load() const {
    if (complete_ || bytes_.empty()) return IndexStatus::Ok;
    if (!LoadBlocks(0, loaded_.size())) return failure_;
    if (!RecordChecker(bytes_.data(), kHeaderSize + kOffsetSize * count_, recordsEnd_).CheckAll(count_) ||
        !NamesAreRight()) {
        failure_ = IndexStatus::Invalid;
        return failure_;
    }
    complete_ = true;
    source_.reset();
    return IndexStatus::Ok;
}

IndexStatus IndexBase::Failure() const {
    return failure_ == IndexStatus::Unreadable ? IndexStatus::Unreadable : IndexStatus::Invalid;
}

bool IndexBase::CheckedOffset(std::uint32_t position, std::size_t& offset) const {
    const std::size_t slot = kHeaderSize + kOffsetSize * position;
    if (!Need(slot, slot + kOffsetSize)) return false;
    offset = ReadU32(bytes_.data() + slot);
    return offset >= kHeaderSize + kOffsetSize * std::size_t{count_} && offset <= recordsEnd_;
}

// The record at position, its blocks read and checked and its fields within
// its bounds, for a lookup in a base not loaded whole.
bool IndexBase::CheckedRecord(std::uint32_t position, RecordBytes& found) const {
    std::size_t begin = 0;
    std::size_t end = recordsEnd_;
    if (!CheckedOffset(position, begin)) return false;
    if (position + 1 < count_ && !CheckedOffset(position + 1, end)) return false;
    record::View view;
    if (begin >= end || !Need(begin, end) || !RecordChecker(bytes_.data(), begin, end).CheckOne(view)) return false;
    found = {bytes_.data() + begin, end - begin};
    return true;
}

LookupStatus IndexBase::Lookup(std::u16string_view id, IndexEntry& entry) const {
    const std::vector<std::uint8_t> units = record::EncodeText(id);
    std::uint32_t low = 0;
    std::uint32_t high = count_;
    while (low < high) {
        const std::uint32_t middle = low + (high - low) / 2;
        RecordBytes found;
        if (!CheckedRecord(middle, found)) {
            return Failure() == IndexStatus::Unreadable ? LookupStatus::Unreadable : LookupStatus::Invalid;
        }
        const int order = CompareId(found, units);
        if (order == 0) {
            entry = record::Decode(found.data, found.size);
            return LookupStatus::Found;
        }
        if (order < 0) low = middle + 1;
        else high = middle;
    }
    return LookupStatus::Missing;
}

std::optional<IndexBase> IndexBase::Assemble(const std::vector<RecordBytes>& records, std::uint64_t generation) {
    const std::size_t recordsBegin = kHeaderSize + kOffsetSize * records.size();
    std::uint64_t checkedEnd = recordsBegin + kNameEntrySize * records.size();
    for (const RecordBytes& bytes : records) checkedEnd += bytes.size;
    if (checkedEnd > kMaxFileSize) return std::nullopt;
    const std::uint64_t total = checkedEnd + kChecksumSize * BlockCount(checkedEnd) + kFooterSize;
    if (total > kMaxFileSize || !IsValidGeneration(generation)) return std::nullopt;

    IndexBase base;
    IndexBytes& out = base.bytes_;
    out.reserve(static_cast<std::size_t>(total));
    out.resize(recordsBegin);
    for (std::size_t slot = 0; slot < records.size(); ++slot) {
        PutU32(out, kHeaderSize + kOffsetSize * slot, static_cast<std::uint32_t>(out.size()));
        out.insert(out.end(), records[slot].data, records[slot].data + records[slot].size);
    }
    std::copy(kMagic.begin(), kMagic.end(), out.begin());
    PutU32(out, kVersionOffset, kFormatVersion);
    PutU32(out, kCountOffset, static_cast<std::uint32_t>(records.size()));
    PutU64(out, kGenerationOffset, generation);
    PutU64(out, kBaseSizeOffset, total);
    base.recordsEnd_ = out.size();
    for (const auto& [key, position] : NamesOf(records)) {
        AppendU32(out, key);
        AppendU32(out, position);
    }
    base.checkedEnd_ = out.size();
    for (std::size_t at = 0; at < base.checkedEnd_; at += kBlockSize) {
        AppendU32(out, Crc32c(out.data() + at, std::min(kBlockSize, base.checkedEnd_ - at)));
    }
    AppendU32(out, static_cast<std::uint32_t>(base.checkedEnd_));
    AppendU32(out, Crc32c(out.data() + base.checkedEnd_, out.size() - base.checkedEnd_));
    base.count_ = static_cast<std::uint32_t>(records.size());
    base.version_ = kFormatVersion;
    base.generation_ = generation;
    base.mark_ = MarkOf(out);
    base.complete_ = true;
    return base;
}

RecordBytes IndexBase::RecordAt(std::uint32_t position) const {
    const std::size_t begin = ReadU32(bytes_.data() + kHeaderSize + kOffsetSize * position);
    const std::size_t end =
        position + 1 < count_ ? ReadU32(bytes_.data() + kHeaderSize + kOffsetSize * (position + 1)) : recordsEnd_;
    return {bytes_.data() + begin, end - begin};
}

std::uint32_t IndexBase::LowerBound(const std::vector<std::uint8_t>& id) const {
    std::uint32_t low = 0;
    std::uint32_t high = count_;
    while (low < high) {
        const std::uint32_t middle = low + (high - low) / 2;
        if (CompareId(RecordAt(middle), id) < 0) low = middle + 1;
        else high = middle;
    }
    return low;
}

bool IndexBase::HasIdAt(std::uint32_t position, const std::vector<std::uint8_t>& id) const {
    return position < count_ && CompareId(RecordAt(position), id) == 0;
}

IndexEntry IndexBase::EntryAt(std::uint32_t position) const {
    const RecordBytes found = RecordAt(position);
    return record::Decode(found.data, found.size);
}

// Every position once, in ascending (key, position) order, each under the
// key of its destination.
bool IndexBase::NamesAreRight() const {
    std::uint64_t previous = 0;
    for (std::uint32_t slot = 0; slot < count_; ++slot) {
        const std::uint8_t* name = bytes_.data() + recordsEnd_ + kNameEntrySize * slot;
        const std::uint32_t position = ReadU32(name + 4);
        const std::uint64_t combined = std::uint64_t{ReadU32(name)} << 32 | position;
        if (position >= count_ || (slot > 0 && combined <= previous)) return false;
        if (DestinationKey(RecordAt(position)) != ReadU32(name)) return false;
        previous = combined;
    }
    return true;
}

bool IndexBase::NameKeyAt(std::uint32_t slot, std::uint32_t& key) const {
    const std::size_t at = recordsEnd_ + kNameEntrySize * std::size_t{slot};
    if (!Need(at, at + kNameEntrySize)) return false;
    key = ReadU32(bytes_.data() + at);
    return true;
}

IndexStatus IndexBase::RecordsWithKey(std::uint32_t key, std::vector<RecordBytes>& found) const {
    std::uint32_t low = 0;
    std::uint32_t high = count_;
    while (low < high) {
        const std::uint32_t middle = low + (high - low) / 2;
        std::uint32_t middleKey = 0;
        if (!NameKeyAt(middle, middleKey)) return Failure();
        if (middleKey < key) low = middle + 1;
        else high = middle;
    }
    for (std::uint32_t slot = low; slot < count_; ++slot) {
        std::uint32_t slotKey = 0;
        if (!NameKeyAt(slot, slotKey)) return Failure();
        if (slotKey != key) break;
        const std::uint32_t position = ReadU32(bytes_.data() + recordsEnd_ + kNameEntrySize * slot + 4);
        RecordBytes named;
        if (position >= count_ || !CheckedRecord(position, named)) return Failure();
        if (DestinationKey(named) != key) return IndexStatus::Invalid;
        found.push_back(named);
    }
    return IndexStatus::Ok;
}

// IndexImage

IndexImage::IndexImage() : base_(std::make_shared<const IndexBase>()) {}

IndexImage::IndexImage(IndexBase base)
    : base_(std::make_shared<const IndexBase>(std::move(base))), generation_(base_->Generation()) {
    file_ = base_->Mark();
}

IndexStatus IndexImage::Open(std::shared_ptr<IndexSource> source, std::uint64_t fileSize, IndexImage& image) {
    IndexBase base;
    if (const IndexStatus status = IndexBase::Open(source, fileSize, base); status != IndexStatus::Ok) return status;
    image = IndexImage(std::move(base));
    const std::uint64_t changesSize = fileSize - image.base_->Size();
    if (changesSize == 0) return IndexStatus::Ok;
    IndexBytes changes(static_cast<std::size_t>(changesSize));
    if (!source->ReadAt(image.base_->Size(), changes.data(), changes.size())) return IndexStatus::Unreadable;
    if (!image.AddChanges(changes)) return IndexStatus::Invalid;
    image.file_.size = fileSize;
    image.file_.lastWord = ReadU32(changes.data() + changes.size() - kChecksumSize);
    return IndexStatus::Ok;
}

bool IndexImage::AddChanges(const IndexBytes& changes) {
    for (std::size_t at = 0; at < changes.size();) {
        IndexChange change;
        if (!ReadChange(changes, at, generation_ + 1, change)) return false;
        ++generation_;
        changes_[std::move(change.id)] = std::move(change.record);
    }
    return true;
}

std::optional<IndexImage> IndexImage::Parse(IndexBytes bytes) {
    IndexImage image;
    const IndexStatus status = Open(std::make_shared<MemorySource>(bytes), bytes.size(), image);
    if (status != IndexStatus::Ok || image.Load() != IndexStatus::Ok) return std::nullopt;
    return image;
}

bool IndexImage::TakesChanges() const { return file_.size != 0 && base_->Version() == kFormatVersion; }

LookupStatus IndexImage::Lookup(std::u16string_view id, IndexEntry& entry) const {
    if (const auto changed = changes_.find(std::u16string(id)); changed != changes_.end()) {
        if (!changed->second) return LookupStatus::Missing;
        const std::vector<std::uint8_t>& bytes = *changed->second;
        entry = record::Decode(bytes.data(), bytes.size());
        return LookupStatus::Found;
    }
    return base_->Lookup(id, entry);
}

std::optional<IndexEntry> IndexImage::Find(std::u16string_view id) const {
    IndexEntry entry;
    if (Lookup(id, entry) != LookupStatus::Found) return std::nullopt;
    return entry;
}

IndexStatus IndexImage::DestinationsNamed(std::u16string_view name, std::vector<std::u16string>& destinations) const {
    const std::vector<std::uint8_t> units = record::EncodeText(name);
    const std::uint32_t key = record::NameKey(units.data(), {0, units.size()});
    std::vector<RecordBytes> named;
    if (const IndexStatus status = base_->RecordsWithKey(key, named); status != IndexStatus::Ok) return status;
    for (const RecordBytes& bytes : named) {
        const record::View view = ViewOf(bytes);
        if (changes_.count(record::DecodeText(bytes.data, view.id)) != 0) continue;  // changed since
        destinations.push_back(record::DecodeText(bytes.data, view.destination));
    }
    for (const auto& [id, bytes] : changes_) {
        if (!bytes) continue;
        const record::View view = ViewOf({bytes->data(), bytes->size()});
        if (record::NameKey(bytes->data(), view.destination) != key) continue;
        destinations.push_back(record::DecodeText(bytes->data(), view.destination));
    }
    return IndexStatus::Ok;
}

std::optional<IndexChange> IndexImage::NextChange(std::u16string id,
                                                  std::optional<std::vector<std::uint8_t>> bytes) const {
    if (!IsValidGeneration(generation_ + 1)) return std::nullopt;
    IndexChange change;
    if (bytes) {
        change.bytes = EncodeChange(generation_ + 1, kPutChange, *bytes);
    } else {
        std::vector<std::uint8_t> body;
        record::AppendText(body, id);
        change.bytes = EncodeChange(generation_ + 1, kRemoveChange, body);
    }
    change.id = std::move(id);
    change.record = std::move(bytes);
    return change;
}

std::optional<IndexChange> IndexImage::Put(const IndexEntry& entry) const {
    return NextChange(entry.id, record::Encode(entry));
}

std::optional<IndexChange> IndexImage::Remove(std::u16string_view id) const {
    return NextChange(std::u16string(id), std::nullopt);
}

IndexImage IndexImage::Appended(const IndexChange& change) const {
    IndexImage next;
    next.base_ = base_;
    next.changes_ = changes_;
    next.changes_[change.id] = change.record;
    next.generation_ = generation_ + 1;
    next.file_ = file_;
    next.file_.size += change.bytes.size();
    next.file_.lastWord = ReadU32(change.bytes.data() + change.bytes.size() - kChecksumSize);
    return next;
}

std::optional<IndexImage> IndexImage::Rewritten(const IndexChange& change) const {
    Changes changes = changes_;
    changes[change.id] = change.record;
    auto base = Fold(changes, generation_ + 1);
    if (!base) return std::nullopt;
    return IndexImage(std::move(*base));
}

// The base with changes applied, in one pass: the untouched records are
// copied as they are.
std::optional<IndexBase> IndexImage::Fold(const Changes& changes, std::uint64_t generation) const {
    assert(base_->Loaded());
    const IndexBase& base = *base_;
    std::vector<RecordBytes> records;
    records.reserve(base.Count() + changes.size());
    std::uint32_t position = 0;
    for (const auto& [id, bytes] : changes) {
        const std::vector<std::uint8_t> units = record::EncodeText(id);
        const std::uint32_t bound = base.LowerBound(units);
        for (; position < bound; ++position) records.push_back(base.RecordAt(position));
        if (base.HasIdAt(position, units)) ++position;
        if (bytes) records.push_back({bytes->data(), bytes->size()});
    }
    for (; position < base.Count(); ++position) records.push_back(base.RecordAt(position));
    return IndexBase::Assemble(records, generation);
}

const IndexBase& IndexImage::Folded() const {
    assert(base_->Loaded());
    if (changes_.empty()) return *base_;
    // Never larger than the file the changes were read from, so it fits.
    if (!folded_) folded_ = std::make_shared<const IndexBase>(Fold(changes_, generation_).value());
    return *folded_;
}

}  // namespace kvd
