#include "kvdfiles/IndexFormat.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "kvdfiles/Crc32c.h"

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
constexpr std::size_t kRecordFixedSize = 28;  // size, added, changed, permissions
constexpr std::size_t kTextCount = 4;
constexpr std::uint64_t kMaxFileSize = std::numeric_limits<std::uint32_t>::max();
constexpr std::array<std::uint8_t, 4> kChangeMagic = {'Z', 'R', 'C', 'H'};
constexpr std::size_t kChangeFrameSize = 8;   // magic, size
constexpr std::size_t kChangeFixedSize = 12;  // generation, kind
constexpr std::uint32_t kPutChange = 1;
constexpr std::uint32_t kRemoveChange = 2;

std::uint32_t ReadU32(const std::uint8_t* at) {
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
           std::uint32_t{at[3]} << 24;
}

std::uint64_t ReadU64(const std::uint8_t* at) {
    return std::uint64_t{ReadU32(at)} | std::uint64_t{ReadU32(at + 4)} << 32;
}

// A text whose bounds were checked: u32 count, then the units.
std::u16string ReadText(const std::uint8_t* bytes, std::size_t& at) {
    const std::size_t length = ReadU32(bytes + at);
    at += 4;
    std::u16string text(length, u'\0');
    for (std::size_t i = 0; i < length; ++i) {
        text[i] = static_cast<char16_t>(bytes[at + 2 * i] | bytes[at + 2 * i + 1] << 8);
    }
    at += 2 * length;
    return text;
}

IndexEntry DecodeRecord(const std::uint8_t* record) {
    IndexEntry entry;
    entry.contentSize = ReadU64(record);
    entry.addedMicros = static_cast<std::int64_t>(ReadU64(record + 8));
    entry.changedMicros = static_cast<std::int64_t>(ReadU64(record + 16));
    entry.permissions = ReadU32(record + 24);
    std::size_t at = kRecordFixedSize;
    entry.id = ReadText(record, at);
    entry.destination = ReadText(record, at);
    entry.version = ReadText(record, at);
    entry.description = ReadText(record, at);
    return entry;
}

// Where a record's destination starts: past the fixed part and the identifier.
std::size_t DestinationOffset(const std::uint8_t* record) {
    return kRecordFixedSize + 4 + 2 * std::size_t{ReadU32(record + kRecordFixedSize)};
}

template <typename Bytes>
void PutU32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

template <typename Bytes>
void PutU64(Bytes& bytes, std::size_t at, std::uint64_t value) {
    PutU32(bytes, at, static_cast<std::uint32_t>(value));
    PutU32(bytes, at + 4, static_cast<std::uint32_t>(value >> 32));
}

template <typename Bytes>
void AppendU32(Bytes& bytes, std::uint32_t value) {
    bytes.resize(bytes.size() + 4);
    PutU32(bytes, bytes.size() - 4, value);
}

void AppendU64(std::vector<std::uint8_t>& bytes, std::uint64_t value) {
    bytes.resize(bytes.size() + 8);
    PutU64(bytes, bytes.size() - 8, value);
}

void AppendText(std::vector<std::uint8_t>& bytes, std::u16string_view text) {
    AppendU32(bytes, static_cast<std::uint32_t>(text.size()));
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
}

std::vector<std::uint8_t> EncodeRecord(const IndexEntry& entry) {
    std::vector<std::uint8_t> record;
    AppendU64(record, entry.contentSize);
    AppendU64(record, static_cast<std::uint64_t>(entry.addedMicros));
    AppendU64(record, static_cast<std::uint64_t>(entry.changedMicros));
    AppendU32(record, entry.permissions);
    for (const auto* text : {&entry.id, &entry.destination, &entry.version, &entry.description}) {
        AppendText(record, *text);
    }
    return record;
}

// Orders two texts of UTF-16LE units as unsigned numbers. Equal stretches,
// most of a sorted neighbour's identifier, are skipped eight bytes at a time.
int CompareUnits(const std::uint8_t* a, std::size_t aUnits, const std::uint8_t* b, std::size_t bUnits) {
    const std::size_t common = 2 * std::min(aUnits, bUnits);
    std::size_t at = 0;
    for (; at + 8 <= common; at += 8) {
        std::uint64_t aWord = 0;
        std::uint64_t bWord = 0;
        std::memcpy(&aWord, a + at, sizeof aWord);
        std::memcpy(&bWord, b + at, sizeof bWord);
        if (aWord != bWord) break;
    }
    for (; at < common; at += 2) {
        const unsigned aUnit = a[at] | unsigned{a[at + 1]} << 8;
        const unsigned bUnit = b[at] | unsigned{b[at + 1]} << 8;
        if (aUnit != bUnit) return aUnit < bUnit ? -1 : 1;
    }
    if (aUnits == bUnits) return 0;
    return aUnits < bUnits ? -1 : 1;
}

// Walks records whose checksum matched, checking that each one starts where
// the offset table says and stays inside [begin, end).
class RecordChecker {
public:
    RecordChecker(const std::uint8_t* bytes, std::size_t begin, std::size_t end)
        : bytes_(bytes), end_(end), at_(begin) {}

    // The records of a base, which fill it up to its checksum.
    bool CheckAll(std::uint32_t count) {
        for (std::uint32_t position = 0; position < count; ++position) {
            if (ReadU32(bytes_ + kHeaderSize + kOffsetSize * position) != at_) return false;
            if (!CheckRecord()) return false;
        }
        return at_ == end_;
    }

    // A record that fills the whole range.
    bool CheckOne() { return CheckRecord() && at_ == end_; }

private:
    bool CheckRecord() {
        if (end_ - at_ < kRecordFixedSize) return false;
        const std::uint32_t permissions = ReadU32(bytes_ + at_ + 24);
        if (!IsValidPermissions(permissions)) return false;
        at_ += kRecordFixedSize;
        std::size_t idBegin = 0;
        std::size_t idLength = 0;
        for (std::size_t text = 0; text < kTextCount; ++text) {
            std::size_t length = 0;
            if (!SkipText(length)) return false;
            const bool mustHaveText = text < 2;  // identifier and destination
            if (mustHaveText && length == 0) return false;
            if (text == 0) idBegin = at_ - 2 * length;
            if (text == 0) idLength = length;
        }
        return IdFollowsPrevious(idBegin, idLength);
    }

    bool SkipText(std::size_t& length) {
        if (end_ - at_ < 4) return false;
        length = ReadU32(bytes_ + at_);
        at_ += 4;
        if ((end_ - at_) / 2 < length) return false;
        at_ += 2 * length;
        return true;
    }

    // Identifiers must rise strictly, which also rules out duplicates.
    bool IdFollowsPrevious(std::size_t begin, std::size_t length) {
        const bool first = previousLength_ == 0;
        const bool greater =
            first || CompareUnits(bytes_ + begin, length, bytes_ + previousBegin_, previousLength_) > 0;
        previousBegin_ = begin;
        previousLength_ = length;
        return greater;
    }

    const std::uint8_t* bytes_;
    const std::size_t end_;
    std::size_t at_;
    std::size_t previousBegin_ = 0;
    std::size_t previousLength_ = 0;
};

// The first commit writes 1; the largest value would leave no next one.
bool IsValidGeneration(std::uint64_t generation) {
    return generation != 0 && generation != std::numeric_limits<std::uint64_t>::max();
}

// The size of the base a file starts with, as its header gives it; nothing
// when the header is not one of an index. Version 1 has no change records
// after its base.
std::optional<std::size_t> BaseSizeOf(const IndexBytes& file) {
    if (file.size() < kHeaderSize + kChecksumSize || file.size() > kMaxFileSize) return std::nullopt;
    if (!std::equal(kMagic.begin(), kMagic.end(), file.begin())) return std::nullopt;
    const std::uint32_t version = ReadU32(file.data() + kVersionOffset);
    const std::uint64_t baseSize = ReadU64(file.data() + kBaseSizeOffset);
    if (version == kBaseOnlyVersion ? baseSize != file.size() : version != kFormatVersion) return std::nullopt;
    if (baseSize < kHeaderSize + kChecksumSize || baseSize > file.size()) return std::nullopt;
    return static_cast<std::size_t>(baseSize);
}

// A base alone: its header, generation and checksum, and room for the
// offset table.
bool BaseFits(const IndexBytes& bytes) {
    if (BaseSizeOf(bytes) != bytes.size()) return false;
    if (!IsValidGeneration(ReadU64(bytes.data() + kGenerationOffset))) return false;
    const std::size_t checked = bytes.size() - kChecksumSize;
    if (Crc32c(bytes.data(), checked) != ReadU32(bytes.data() + checked)) return false;
    const std::uint64_t count = ReadU32(bytes.data() + kCountOffset);
    return kHeaderSize + kOffsetSize * count + kChecksumSize <= bytes.size();
}

IndexFileMark MarkOf(const IndexBytes& file) {
    IndexFileMark mark;
    std::copy(file.begin(), file.begin() + kHeaderSize, mark.header.begin());
    mark.size = file.size();
    mark.lastWord = ReadU32(file.data() + file.size() - kChecksumSize);
    return mark;
}

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

bool IsRemovalBody(const std::uint8_t* bytes, std::size_t begin, std::size_t end) {
    if (end - begin < 4) return false;
    const std::size_t length = ReadU32(bytes + begin);
    return length != 0 && end - begin - 4 == 2 * length;
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
    if (kind == kPutChange) {
        if (!RecordChecker(data, body, end).CheckOne()) return false;
        change.record.emplace(data + body, data + end);
        body += kRecordFixedSize;
    } else if (kind != kRemoveChange || !IsRemovalBody(data, body, end)) {
        return false;
    }
    change.id = ReadText(data, body);
    at = end + kChecksumSize;
    return true;
}

}  // namespace

bool IsValidPermissions(std::uint32_t permissions) { return permissions >= 1 && permissions <= 3; }

// IndexBase

std::optional<IndexBase> IndexBase::Parse(IndexBytes bytes) {
    if (!BaseFits(bytes)) return std::nullopt;
    const std::uint32_t count = ReadU32(bytes.data() + kCountOffset);
    if (!RecordChecker(bytes.data(), kHeaderSize + kOffsetSize * count, bytes.size() - kChecksumSize).CheckAll(count)) {
        return std::nullopt;
    }
    IndexBase base;
    base.count_ = count;
    base.generation_ = ReadU64(bytes.data() + kGenerationOffset);
    base.bytes_ = std::move(bytes);
    return base;
}

std::optional<IndexBase> IndexBase::Assemble(const std::vector<RecordBytes>& records, std::uint64_t generation) {
    const std::size_t recordsBegin = kHeaderSize + kOffsetSize * records.size();
    std::uint64_t total = recordsBegin + kChecksumSize;
    for (const RecordBytes& record : records) total += record.size;
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
    AppendU32(out, Crc32c(out.data(), out.size()));
    base.count_ = static_cast<std::uint32_t>(records.size());
    base.generation_ = generation;
    return base;
}

std::uint32_t IndexBase::Version() const { return bytes_.empty() ? 0 : ReadU32(bytes_.data() + kVersionOffset); }

IndexBase::RecordBytes IndexBase::RecordAt(std::uint32_t position) const {
    const std::size_t begin = ReadU32(bytes_.data() + kHeaderSize + kOffsetSize * position);
    const std::size_t end = position + 1 < count_ ? ReadU32(bytes_.data() + kHeaderSize + kOffsetSize * (position + 1))
                                                  : bytes_.size() - kChecksumSize;
    return {bytes_.data() + begin, end - begin};
}

int IndexBase::CompareId(std::uint32_t position, std::u16string_view id) const {
    const std::uint8_t* units = RecordAt(position).data + kRecordFixedSize;
    const std::size_t length = ReadU32(units);
    units += 4;
    const std::size_t common = std::min(length, id.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto unit = static_cast<char16_t>(units[2 * i] | units[2 * i + 1] << 8);
        if (unit != id[i]) return unit < id[i] ? -1 : 1;
    }
    if (length == id.size()) return 0;
    return length < id.size() ? -1 : 1;
}

std::uint32_t IndexBase::LowerBound(std::u16string_view id) const {
    std::uint32_t low = 0;
    std::uint32_t high = count_;
    while (low < high) {
        const std::uint32_t middle = low + (high - low) / 2;
        if (CompareId(middle, id) < 0) low = middle + 1;
        else high = middle;
    }
    return low;
}

std::optional<std::uint32_t> IndexBase::Find(std::u16string_view id) const {
    const std::uint32_t position = LowerBound(id);
    if (position < count_ && CompareId(position, id) == 0) return position;
    return std::nullopt;
}

IndexEntry IndexBase::EntryAt(std::uint32_t position) const { return DecodeRecord(RecordAt(position).data); }

std::vector<std::uint32_t> IndexBase::DestinationsEndingWith(std::u16string_view tail) const {
    std::vector<std::uint8_t> tailBytes;  // as the file stores the units
    AppendText(tailBytes, tail);
    tailBytes.erase(tailBytes.begin(), tailBytes.begin() + 4);
    std::vector<std::uint32_t> found;
    for (std::uint32_t position = 0; position < count_; ++position) {
        const std::uint8_t* record = bytes_.data() + ReadU32(bytes_.data() + kHeaderSize + kOffsetSize * position);
        const std::uint8_t* destination = record + DestinationOffset(record);
        const std::size_t length = ReadU32(destination);
        if (length < tail.size()) continue;
        const std::uint8_t* tailBegin = destination + 4 + 2 * (length - tail.size());
        if (std::memcmp(tailBegin, tailBytes.data(), tailBytes.size()) == 0) found.push_back(position);
    }
    return found;
}

// IndexImage

IndexImage::IndexImage() : base_(std::make_shared<const IndexBase>()) {}

IndexImage::IndexImage(IndexBase base)
    : base_(std::make_shared<const IndexBase>(std::move(base))), generation_(base_->Generation()) {
    if (!base_->Bytes().empty()) file_ = MarkOf(base_->Bytes());
}

std::optional<IndexImage> IndexImage::Parse(IndexBytes bytes) {
    const auto baseSize = BaseSizeOf(bytes);
    if (!baseSize) return std::nullopt;
    const IndexFileMark mark = MarkOf(bytes);
    const IndexBytes changes(bytes.begin() + static_cast<std::ptrdiff_t>(*baseSize), bytes.end());
    bytes.resize(*baseSize);
    auto base = IndexBase::Parse(std::move(bytes));
    if (!base) return std::nullopt;
    IndexImage image(std::move(*base));
    image.file_ = mark;
    for (std::size_t at = 0; at < changes.size();) {
        IndexChange change;
        if (!ReadChange(changes, at, image.generation_ + 1, change)) return std::nullopt;
        ++image.generation_;
        image.changes_[std::move(change.id)] = std::move(change.record);
    }
    return image;
}

bool IndexImage::TakesChanges() const { return file_.size != 0 && base_->Version() == kFormatVersion; }

std::optional<IndexEntry> IndexImage::Find(std::u16string_view id) const {
    if (const auto changed = changes_.find(std::u16string(id)); changed != changes_.end()) {
        if (!changed->second) return std::nullopt;
        return DecodeRecord(changed->second->data());
    }
    const auto position = base_->Find(id);
    if (!position) return std::nullopt;
    return base_->EntryAt(*position);
}

std::vector<std::u16string> IndexImage::DestinationsEndingWith(std::u16string_view tail) const {
    std::vector<std::u16string> found;
    for (const std::uint32_t position : base_->DestinationsEndingWith(tail)) {
        const IndexBase::RecordBytes record = base_->RecordAt(position);
        std::size_t at = kRecordFixedSize;
        const std::u16string id = ReadText(record.data, at);
        if (changes_.count(id) != 0) continue;  // a change replaced or removed it
        found.push_back(ReadText(record.data, at));
    }
    for (const auto& [id, record] : changes_) {
        if (!record) continue;
        std::size_t at = DestinationOffset(record->data());
        std::u16string destination = ReadText(record->data(), at);
        if (destination.ends_with(tail)) found.push_back(std::move(destination));
    }
    return found;
}

std::optional<IndexChange> IndexImage::NextChange(std::u16string id,
                                                  std::optional<std::vector<std::uint8_t>> record) const {
    if (!IsValidGeneration(generation_ + 1)) return std::nullopt;
    IndexChange change;
    if (record) {
        change.bytes = EncodeChange(generation_ + 1, kPutChange, *record);
    } else {
        std::vector<std::uint8_t> body;
        AppendText(body, id);
        change.bytes = EncodeChange(generation_ + 1, kRemoveChange, body);
    }
    change.id = std::move(id);
    change.record = std::move(record);
    return change;
}

std::optional<IndexChange> IndexImage::Put(const IndexEntry& entry) const {
    return NextChange(entry.id, EncodeRecord(entry));
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
    const IndexBase& base = *base_;
    std::vector<IndexBase::RecordBytes> records;
    records.reserve(base.Count() + changes.size());
    std::uint32_t position = 0;
    for (const auto& [id, record] : changes) {
        const std::uint32_t bound = base.LowerBound(id);
        for (; position < bound; ++position) records.push_back(base.RecordAt(position));
        if (position < base.Count() && base.CompareId(position, id) == 0) ++position;
        if (record) records.push_back({record->data(), record->size()});
    }
    for (; position < base.Count(); ++position) records.push_back(base.RecordAt(position));
    return IndexBase::Assemble(records, generation);
}

const IndexBase& IndexImage::Folded() const {
    if (changes_.empty()) return *base_;
    // Never larger than the file the changes were read from, so it fits.
    if (!folded_) folded_ = std::make_shared<const IndexBase>(Fold(changes_, generation_).value());
    return *folded_;
}

}  // namespace kvd
