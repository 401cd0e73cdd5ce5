#include "kvdfiles/IndexBase.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "kvdfiles/Crc32c.h"
#include "kvdfiles/LittleEndian.h"

namespace kvd {
namespace {

using layout::IsValidGeneration;
using layout::kChecksumSize;
using layout::kFormatVersion;
using layout::kHeaderSize;

constexpr std::size_t kVersionOffset = 8;
constexpr std::size_t kCountOffset = 12;
constexpr std::size_t kGenerationOffset = 16;
constexpr std::size_t kBaseSizeOffset = 24;
constexpr std::size_t kOffsetSize = 4;
constexpr std::size_t kNameEntrySize = 8;  // key, position

using RecordBytes = IndexBase::RecordBytes;

static_assert(kFormatVersion == record::kVersion, "the index writes the records' current version");

record::View ViewOf(RecordBytes bytes, std::uint32_t version = record::kVersion) {
    return record::ViewOf(bytes.data, bytes.size, version);
}

std::uint32_t DestinationKey(RecordBytes bytes, std::uint32_t version = record::kVersion) {
    return record::NameKey(bytes.data, ViewOf(bytes, version).destination);
}

// Orders the identifier of a checked record against an identifier's units.
int CompareId(RecordBytes bytes, const std::vector<std::uint8_t>& id) {
    const record::Span span = ViewOf(bytes).id;
    return record::CompareTexts(bytes.data + span.begin, span.end - span.begin, id.data(), id.size());
}

// Whether count records fill the bytes from at to end, each where the offset
// table says, in rising order of identifiers (which also rules out
// duplicates).
bool RecordsFill(const std::uint8_t* bytes, std::uint32_t count, std::size_t at, std::size_t end,
                 std::uint32_t version) {
    record::Span previous;
    for (std::uint32_t position = 0; position < count; ++position) {
        if (ReadU32(bytes + kHeaderSize + kOffsetSize * position) != at) return false;
        record::View view;
        if (!record::Parse(bytes, at, end, view, version)) return false;
        const bool rises =
            position == 0 || record::CompareTexts(bytes + view.id.begin, view.id.end - view.id.begin,
                                                  bytes + previous.begin, previous.end - previous.begin) > 0;
        if (!rises) return false;
        previous = view.id;
    }
    return at == end;
}

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

// The mark of a file that holds a base and nothing after it.
IndexFileMark MarkOf(const IndexBytes& base) {
    IndexFileMark mark;
    std::copy(base.begin(), base.begin() + kHeaderSize, mark.header.begin());
    mark.size = base.size();
    mark.lastWord = ReadU32(base.data() + base.size() - kChecksumSize);
    return mark;
}

}  // namespace

IndexStatus IndexBase::Open(std::shared_ptr<IndexSource> source, std::uint64_t fileSize, IndexBase& base) {
    base = IndexBase();
    if (fileSize < kHeaderSize + kChecksumSize || fileSize > layout::kMaxFileSize) return IndexStatus::Invalid;
    std::uint8_t header[kHeaderSize];
    if (!source->ReadAt(0, header, kHeaderSize)) return IndexStatus::Unreadable;
    if (!std::equal(layout::kMagic.begin(), layout::kMagic.end(), header)) return IndexStatus::Invalid;
    base.version_ = ReadU32(header + kVersionOffset);
    const std::uint64_t baseSize = ReadU64(header + kBaseSizeOffset);
    if (base.version_ == layout::kBaseOnlyVersion) {
        return baseSize == fileSize ? base.OpenVersion1(*source, fileSize) : IndexStatus::Invalid;
    }
    const bool current = base.version_ == kFormatVersion;
    if ((!current && base.version_ != layout::kUnmarkedVersion) || baseSize > fileSize) return IndexStatus::Invalid;
    base.recordVersion_ = base.version_;
    const IndexStatus opened = base.OpenBlocks(std::move(source), baseSize);
    return opened == IndexStatus::Ok && !current ? base.Transcode() : opened;
}

// Version 1 has one checksum over the whole file and records of its own:
// it is read and checked whole, and held as a base of this version.
IndexStatus IndexBase::OpenVersion1(IndexSource& source, std::uint64_t fileSize) {
    IndexBytes file(static_cast<std::size_t>(fileSize));
    if (!source.ReadAt(0, file.data(), file.size())) return IndexStatus::Unreadable;
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
    version_ = layout::kBaseOnlyVersion;
    mark_ = MarkOf(file);
    return IndexStatus::Ok;
}

// An older base of blocks is read and checked whole, and held in the
// current form.
IndexStatus IndexBase::Transcode() {
    if (const IndexStatus loaded = Load(); loaded != IndexStatus::Ok) return loaded;
    std::vector<std::vector<std::uint8_t>> encoded(count_);
    std::vector<RecordBytes> records(count_);
    for (std::uint32_t position = 0; position < count_; ++position) {
        const RecordBytes old = RecordAt(position);
        encoded[position] = record::Transcoded(old.data, old.size, recordVersion_);
        records[position] = {encoded[position].data(), encoded[position].size()};
    }
    auto base = Assemble(records, generation_);
    if (!base) return IndexStatus::Invalid;
    const std::uint32_t version = version_;
    const IndexFileMark mark = mark_;
    *this = std::move(*base);
    version_ = version;
    mark_ = mark;
    return IndexStatus::Ok;
}

// Opens the blocks, and reads the first one, which holds the header.
IndexStatus IndexBase::OpenBlocks(std::shared_ptr<IndexSource> source, std::uint64_t baseSize) {
    loaded_ = false;
    if (const IndexStatus opened = CheckedBlocks::Open(std::move(source), baseSize, blocks_);
        opened != IndexStatus::Ok) {
        return opened;
    }
    const std::uint8_t* header = blocks_.Read(0, kHeaderSize);
    if (header == nullptr) return blocks_.Failure();
    count_ = ReadU32(header + kCountOffset);
    generation_ = ReadU64(header + kGenerationOffset);
    // The name table fills the end of the checked bytes.
    const std::size_t checkedEnd = blocks_.CheckedSize();
    const std::uint64_t tables = (kOffsetSize + kNameEntrySize) * std::uint64_t{count_};
    if (ReadU64(header + kBaseSizeOffset) != baseSize || !IsValidGeneration(generation_) ||
        kHeaderSize + tables > checkedEnd) {
        return IndexStatus::Invalid;
    }
    recordsEnd_ = checkedEnd - kNameEntrySize * std::size_t{count_};
    mark_ = MarkOf(blocks_.Bytes());
    return IndexStatus::Ok;
}

IndexStatus IndexBase::Load() {
    if (loaded_) return IndexStatus::Ok;
    if (const IndexStatus read = blocks_.ReadAll(); read != IndexStatus::Ok) return read;
    if (!RecordsFill(Data(), count_, kHeaderSize + kOffsetSize * count_, recordsEnd_, recordVersion_) ||
        !NamesAreRight()) {
        blocks_.Refuse();
        return IndexStatus::Invalid;
    }
    loaded_ = true;
    return IndexStatus::Ok;
}

bool IndexBase::CheckedOffset(std::uint32_t position, std::size_t& offset) {
    const std::size_t slot = kHeaderSize + kOffsetSize * position;
    const std::uint8_t* bytes = blocks_.Read(slot, slot + kOffsetSize);
    if (bytes == nullptr) return false;
    offset = ReadU32(bytes);
    return offset >= kHeaderSize + kOffsetSize * std::size_t{count_} && offset <= recordsEnd_;
}

// The record at position, its blocks read and checked and its fields within
// its bounds, for a lookup in a base not loaded whole.
bool IndexBase::CheckedRecord(std::uint32_t position, RecordBytes& found) {
    std::size_t begin = 0;
    std::size_t end = recordsEnd_;
    if (!CheckedOffset(position, begin)) return false;
    if (position + 1 < count_ && !CheckedOffset(position + 1, end)) return false;
    if (begin >= end) return false;
    const std::uint8_t* bytes = blocks_.Read(begin, end);
    record::View view;
    if (bytes == nullptr || !record::ParseWhole(bytes, 0, end - begin, view)) return false;
    found = {bytes, end - begin};
    return true;
}

LookupStatus IndexBase::Lookup(std::u16string_view id, IndexEntry& entry) {
    const std::vector<std::uint8_t> units = record::EncodeText(id);
    std::uint32_t low = 0;
    std::uint32_t high = count_;
    while (low < high) {
        const std::uint32_t middle = low + (high - low) / 2;
        RecordBytes found;
        if (!CheckedRecord(middle, found)) {
            return blocks_.Failure() == IndexStatus::Unreadable ? LookupStatus::Unreadable : LookupStatus::Invalid;
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
    if (checkedEnd > layout::kMaxFileSize) return std::nullopt;
    const std::uint64_t total = CheckedBlocks::SealedSize(checkedEnd);
    if (total > layout::kMaxFileSize || !IsValidGeneration(generation)) return std::nullopt;

    IndexBytes out;
    out.reserve(static_cast<std::size_t>(total));
    out.resize(recordsBegin);
    for (std::size_t slot = 0; slot < records.size(); ++slot) {
        PutU32(out, kHeaderSize + kOffsetSize * slot, static_cast<std::uint32_t>(out.size()));
        out.insert(out.end(), records[slot].data, records[slot].data + records[slot].size);
    }
    std::copy(layout::kMagic.begin(), layout::kMagic.end(), out.begin());
    PutU32(out, kVersionOffset, kFormatVersion);
    PutU32(out, kCountOffset, static_cast<std::uint32_t>(records.size()));
    PutU64(out, kGenerationOffset, generation);
    PutU64(out, kBaseSizeOffset, total);
    IndexBase base;
    base.recordsEnd_ = out.size();
    for (const auto& [key, position] : NamesOf(records)) {
        AppendU32(out, key);
        AppendU32(out, position);
    }
    base.blocks_ = CheckedBlocks::Seal(std::move(out));
    base.count_ = static_cast<std::uint32_t>(records.size());
    base.version_ = kFormatVersion;
    base.generation_ = generation;
    base.mark_ = MarkOf(base.blocks_.Bytes());
    return base;
}

std::size_t IndexBase::RecordsBegin() const { return kHeaderSize + kOffsetSize * std::size_t{count_}; }

RecordBytes IndexBase::RecordAt(std::uint32_t position) const {
    const std::size_t begin = ReadU32(Data() + kHeaderSize + kOffsetSize * position);
    const std::size_t end =
        position + 1 < count_ ? ReadU32(Data() + kHeaderSize + kOffsetSize * (position + 1)) : recordsEnd_;
    return {Data() + begin, end - begin};
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
        const std::uint8_t* name = Data() + recordsEnd_ + kNameEntrySize * slot;
        const std::uint32_t position = ReadU32(name + 4);
        const std::uint64_t combined = std::uint64_t{ReadU32(name)} << 32 | position;
        if (position >= count_ || (slot > 0 && combined <= previous)) return false;
        if (DestinationKey(RecordAt(position), recordVersion_) != ReadU32(name)) return false;
        previous = combined;
    }
    return true;
}

bool IndexBase::CheckedName(std::uint32_t slot, std::uint32_t& key, std::uint32_t& position) {
    const std::size_t at = recordsEnd_ + kNameEntrySize * std::size_t{slot};
    const std::uint8_t* name = blocks_.Read(at, at + kNameEntrySize);
    if (name == nullptr) return false;
    key = ReadU32(name);
    position = ReadU32(name + 4);
    return true;
}

IndexStatus IndexBase::RecordsWithKey(std::uint32_t key, std::vector<RecordBytes>& found) {
    std::uint32_t low = 0;
    std::uint32_t high = count_;
    std::uint32_t position = 0;
    while (low < high) {
        const std::uint32_t middle = low + (high - low) / 2;
        std::uint32_t middleKey = 0;
        if (!CheckedName(middle, middleKey, position)) return blocks_.Failure();
        if (middleKey < key) low = middle + 1;
        else high = middle;
    }
    for (std::uint32_t slot = low; slot < count_; ++slot) {
        std::uint32_t slotKey = 0;
        if (!CheckedName(slot, slotKey, position)) return blocks_.Failure();
        if (slotKey != key) break;
        RecordBytes named;
        if (position >= count_ || !CheckedRecord(position, named)) return blocks_.Failure();
        if (DestinationKey(named) != key) return IndexStatus::Invalid;
        found.push_back(named);
    }
    return IndexStatus::Ok;
}

}  // namespace kvd
