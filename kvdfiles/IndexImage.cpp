#include "kvdfiles/IndexImage.h"

#include <algorithm>
#include <cassert>
#include <utility>

#include "kvdfiles/LittleEndian.h"

namespace kvd {
namespace {

using RecordBytes = IndexBase::RecordBytes;

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

// Bytes of an identifier in record form, as the changes are keyed.
std::string_view TextOf(const std::uint8_t* bytes, std::size_t size) {
    return {reinterpret_cast<const char*>(bytes), size};
}

std::uint32_t LastWord(const std::uint8_t* bytes, std::size_t size) {
    return ReadU32(bytes + size - layout::kChecksumSize);
}

}  // namespace

IndexImage::IndexImage() : base_(std::make_shared<IndexBase>()) {}

IndexImage::IndexImage(IndexBase base)
    : base_(std::make_shared<IndexBase>(std::move(base))), generation_(base_->Generation()) {
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
    image.file_.lastWord = LastWord(changes.data(), changes.size());
    return IndexStatus::Ok;
}

bool IndexImage::AddChanges(const IndexBytes& changes) {
    for (std::size_t at = 0; at < changes.size();) {
        IndexChange change;
        if (!ReadChange(changes.data(), changes.size(), at, generation_ + 1, base_->Version(), change)) return false;
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

bool IndexImage::TakesChanges() const { return file_.size != 0 && base_->Version() == layout::kFormatVersion; }

LookupStatus IndexImage::Lookup(std::u16string_view id, IndexEntry& entry) {
    const std::vector<std::uint8_t> units = record::EncodeText(id);
    if (const auto changed = changes_.find(TextOf(units.data(), units.size())); changed != changes_.end()) {
        if (!changed->second) return LookupStatus::Missing;
        entry = record::Decode(changed->second->data(), changed->second->size());
        return LookupStatus::Found;
    }
    return base_->Lookup(id, entry);
}

std::optional<IndexEntry> IndexImage::Find(std::u16string_view id) {
    IndexEntry entry;
    if (Lookup(id, entry) != LookupStatus::Found) return std::nullopt;
    return entry;
}

namespace {

IndexEntry DestinationOf(const std::uint8_t* bytes, const record::View& view) {
    IndexEntry entry;
    entry.destination = record::DecodeText(bytes, view.destination);
    entry.givenOnWindows = view.givenOnWindows;
    return entry;
}

}  // namespace

IndexStatus IndexImage::DestinationsNamed(std::u16string_view name, std::vector<IndexEntry>& destinations) {
    const std::vector<std::uint8_t> units = record::EncodeText(name);
    const std::uint32_t key = record::NameKey(units.data(), {0, units.size()});
    std::vector<RecordBytes> named;
    if (const IndexStatus status = base_->RecordsWithKey(key, named); status != IndexStatus::Ok) return status;
    for (const RecordBytes& bytes : named) {
        const record::View view = record::ViewOf(bytes.data, bytes.size);
        // Changed since.
        if (changes_.contains(TextOf(bytes.data + view.id.begin, view.id.end - view.id.begin))) continue;
        destinations.push_back(DestinationOf(bytes.data, view));
    }
    for (const auto& [id, bytes] : changes_) {
        if (!bytes) continue;
        const record::View view = record::ViewOf(bytes->data(), bytes->size());
        if (record::NameKey(bytes->data(), view.destination) != key) continue;
        destinations.push_back(DestinationOf(bytes->data(), view));
    }
    return IndexStatus::Ok;
}

std::optional<IndexChange> IndexImage::NextChange(std::u16string id,
                                                  std::optional<std::vector<std::uint8_t>> record) const {
    if (!layout::IsValidGeneration(generation_ + 1)) return std::nullopt;
    return EncodeChange(generation_ + 1, std::move(id), std::move(record));
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
    next.file_.lastWord = LastWord(change.bytes.data(), change.bytes.size());
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
        const std::vector<std::uint8_t> units(id.begin(), id.end());
        const std::uint32_t bound = base.LowerBound(units);
        for (; position < bound; ++position) records.push_back(base.RecordAt(position));
        if (base.HasIdAt(position, units)) ++position;
        if (bytes) records.push_back({bytes->data(), bytes->size()});
    }
    for (; position < base.Count(); ++position) records.push_back(base.RecordAt(position));
    return IndexBase::Assemble(records, generation);
}

const IndexBase& IndexImage::Folded() {
    assert(base_->Loaded());
    if (changes_.empty()) return *base_;
    // Never larger than the file the changes were read from, so it fits.
    if (!folded_) folded_ = std::make_shared<const IndexBase>(Fold(changes_, generation_).value());
    return *folded_;
}

}  // namespace kvd
