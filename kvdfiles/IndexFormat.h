// The index file "ZarnRepository.bin": every entry of a repository in one
// checksummed file, the same bytes on every platform.
//
// Layout (integers little-endian, texts UTF-16LE code units):
//   header   magic[8] "ZRIDX\r\n\x1A", u32 format version (2; 1 is read too),
//            u32 entry count, u64 generation, u64 base size
//   offsets  u32 per entry: where its record starts, in identifier order
//   records  u64 content size, i64 time added, i64 time last changed (both
//            microseconds since 1970-01-01 UTC), u32 permissions, then the
//            identifier, destination, version and description, each a u32
//            count of code units followed by the units
//   trailer  u32 CRC-32C of every byte before it
// Records are sorted by identifier, comparing code units as unsigned
// numbers, and follow each other without gaps, so the offset table lets a
// lookup binary-search without decoding the entries in between.
//
// The base ends at its trailer ("base size" bytes). In version 2, change
// records may follow it, each appended by one commit:
//   magic[4] "ZRCH", u32 size of what follows up to the checksum,
//   u64 generation (the previous one plus one), u32 kind (1: put the record
//   that follows, replacing the entry with its identifier; 2: remove the
//   entry whose identifier follows as a text), the record or identifier,
//   u32 CRC-32C of every byte of the change before it.
// The index holds the base's entries with every change applied in order;
// its generation is the last change's. A writer folds the changes into a new
// base once they pass a size limit.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvd {

// Bytes of an index file. Growing it leaves the new bytes uninitialised, so
// that a read fills a buffer without writing it twice.
template <typename T>
struct UninitializedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <typename U>
    explicit UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* at) noexcept {
        ::new (static_cast<void*>(at)) U;
    }
    template <typename U, typename... Args>
    void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};
using IndexBytes = std::vector<std::uint8_t, UninitializedAllocator<std::uint8_t>>;

struct IndexEntry {
    std::u16string id;
    std::u16string destination;  // as given when the file was added
    std::u16string version;
    std::u16string description;
    std::uint32_t permissions = 0;
    std::uint64_t contentSize = 0;
    std::int64_t addedMicros = 0;
    std::int64_t changedMicros = 0;
};

bool IsValidPermissions(std::uint32_t permissions);

// What tells one index file from another without reading it whole: every
// commit either writes a new header (a new base) or makes the file longer.
struct IndexFileMark {
    std::array<std::uint8_t, 32> header{};
    std::uint64_t size = 0;
    std::uint32_t lastWord = 0;  // the checksum that ends the file
    bool operator==(const IndexFileMark&) const = default;
};

// A validated base: the entries in identifier order, found by position.
class IndexBase {
public:
    struct RecordBytes {
        const std::uint8_t* data = nullptr;
        std::size_t size = 0;
    };

    // Checks every byte of a base that holds no changes.
    static std::optional<IndexBase> Parse(IndexBytes bytes);
    // A base of these records, in this order, with a fresh header and
    // checksum. Nothing when it would pass 4 GiB.
    static std::optional<IndexBase> Assemble(const std::vector<RecordBytes>& records, std::uint64_t generation);

    std::uint32_t Count() const { return count_; }
    std::uint64_t Generation() const { return generation_; }
    std::uint32_t Version() const;
    const IndexBytes& Bytes() const { return bytes_; }

    std::optional<std::uint32_t> Find(std::u16string_view id) const;
    // The position at which id is or would be.
    std::uint32_t LowerBound(std::u16string_view id) const;
    int CompareId(std::uint32_t position, std::u16string_view id) const;
    IndexEntry EntryAt(std::uint32_t position) const;
    RecordBytes RecordAt(std::uint32_t position) const;
    // The positions whose destination's last code units are tail, in one pass
    // that decodes no destination.
    std::vector<std::uint32_t> DestinationsEndingWith(std::u16string_view tail) const;

private:
    IndexBytes bytes_;
    std::uint32_t count_ = 0;
    std::uint64_t generation_ = 0;
};

// A change record, and the identifier and record it puts (no record: the
// identifier's entry is removed).
struct IndexChange {
    std::vector<std::uint8_t> bytes;
    std::u16string id;
    std::optional<std::vector<std::uint8_t>> record;
};

// A validated index: a base that the index files share, and the changes
// appended to it, the last one of each identifier. Default-constructed, it
// is the index of a repository that has no index file yet.
class IndexImage {
public:
    IndexImage();

    // Checks every byte of a whole index file; nothing when any check fails.
    static std::optional<IndexImage> Parse(IndexBytes bytes);

    std::uint64_t Generation() const { return generation_; }
    // The file this index was read from or committed as.
    const IndexFileMark& FileMark() const { return file_; }
    // Bytes of change records that follow the base in that file.
    std::uint64_t ChangesSize() const { return file_.size - base_->Bytes().size(); }
    // Whether that file is one that change records may be appended to.
    bool TakesChanges() const;

    std::optional<IndexEntry> Find(std::u16string_view id) const;
    // The destinations of the entries whose destination ends with tail.
    std::vector<std::u16string> DestinationsEndingWith(std::u16string_view tail) const;

    // Every entry in identifier order, for position 0 to Count() - 1. The
    // first call folds the changes into the base.
    std::uint32_t Count() const { return Folded().Count(); }
    IndexEntry EntryAt(std::uint32_t position) const { return Folded().EntryAt(position); }

    // The change to the next generation: entry added, or replacing the entry
    // with its identifier; or the entry of id removed.
    std::optional<IndexChange> Put(const IndexEntry& entry) const;
    std::optional<IndexChange> Remove(std::u16string_view id) const;
    // The next generation as committed by appending change to this file.
    IndexImage Appended(const IndexChange& change) const;
    // The next generation as a new file holding no changes; nothing when it
    // would pass 4 GiB. Its Bytes() are that file.
    std::optional<IndexImage> Rewritten(const IndexChange& change) const;
    // The base only; the whole file of an index that holds no changes.
    const IndexBytes& Bytes() const { return base_->Bytes(); }

private:
    using Changes = std::map<std::u16string, std::optional<std::vector<std::uint8_t>>>;

    explicit IndexImage(IndexBase base);
    std::optional<IndexChange> NextChange(std::u16string id, std::optional<std::vector<std::uint8_t>> record) const;
    std::optional<IndexBase> Fold(const Changes& changes, std::uint64_t generation) const;
    const IndexBase& Folded() const;

    std::shared_ptr<const IndexBase> base_;
    Changes changes_;
    std::uint64_t generation_ = 0;
    IndexFileMark file_;
    mutable std::shared_ptr<const IndexBase> folded_;
};

}  // namespace kvd
