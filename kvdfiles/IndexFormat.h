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
//   names    per entry u32 key, u32 position, in ascending order: the key is
//            the CRC-32C of the UTF-16LE units of the destination's last
//            component (after its last '/', '\\' or ':')
//   blocks   u32 CRC-32C of each 4 KiB block of the bytes before it, from the
//            file's first byte (the last block may be shorter)
//   footer   u32 where the block checksums start, u32 CRC-32C of the block
//            checksums and that position
// Records are sorted by identifier, comparing code units as unsigned
// numbers, and follow each other without gaps, so the offset table lets a
// lookup binary-search without decoding the entries in between, and check
// only the blocks it reads; the name table finds the entries whose stored
// copy may be a given file. Version 1 has no names, blocks or footer; its
// trailer is a u32 CRC-32C of every byte before it.
//
// The base ends with its footer ("base size" bytes). In version 2, change
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

#include "kvdfiles/IndexRecord.h"

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

// Where an index is read from, a piece at a time.
class IndexSource {
public:
    virtual ~IndexSource() = default;
    // Exactly size bytes at offset, or false.
    virtual bool ReadAt(std::uint64_t offset, std::uint8_t* into, std::size_t size) = 0;
};

enum class IndexStatus { Ok, Unreadable, Invalid };
enum class LookupStatus { Found, Missing, Unreadable, Invalid };

// What tells one index file from another without reading it whole: every
// commit either writes a new header (a new base) or makes the file longer.
struct IndexFileMark {
    std::array<std::uint8_t, 32> header{};
    std::uint64_t size = 0;
    std::uint32_t lastWord = 0;  // the checksum that ends the file
    bool operator==(const IndexFileMark&) const = default;
};

// A base: the entries in identifier order, found by position. Opened from a
// source, it has read and checked its header and block checksums; a lookup
// reads and checks the blocks it touches, and Load() all the others and the
// order of every record. The methods that work by position need Load().
class IndexBase {
public:
    struct RecordBytes {
        const std::uint8_t* data = nullptr;
        std::size_t size = 0;
    };

    static IndexStatus Open(std::shared_ptr<IndexSource> source, std::uint64_t fileSize, IndexBase& base);
    // A base of these records, in this order; loaded. Nothing when it would
    // pass 4 GiB.
    static std::optional<IndexBase> Assemble(const std::vector<RecordBytes>& records, std::uint64_t generation);

    IndexStatus Load() const;
    bool Loaded() const { return complete_ || bytes_.empty(); }
    LookupStatus Lookup(std::u16string_view id, IndexEntry& entry) const;

    std::uint32_t Count() const { return count_; }
    std::uint64_t Generation() const { return generation_; }
    // As in the file it was read from: a base of version 1 is held in the
    // form of version 2.
    std::uint32_t Version() const { return version_; }
    const IndexFileMark& Mark() const { return mark_; }
    std::uint64_t Size() const { return mark_.size; }
    // The whole base, once loaded.
    const IndexBytes& Bytes() const { return bytes_; }

    // Positions of identifiers given in the record form of their units.
    std::uint32_t LowerBound(const std::vector<std::uint8_t>& id) const;
    bool HasIdAt(std::uint32_t position, const std::vector<std::uint8_t>& id) const;
    IndexEntry EntryAt(std::uint32_t position) const;
    RecordBytes RecordAt(std::uint32_t position) const;
    // The records whose destination's last component has this key, found
    // through the name table and read as needed.
    IndexStatus RecordsWithKey(std::uint32_t key, std::vector<RecordBytes>& found) const;

private:
    IndexStatus OpenVersion1(std::uint64_t fileSize);
    IndexStatus OpenVersion2(std::uint64_t fileSize);
    bool CheckedRecord(std::uint32_t position, RecordBytes& record) const;
    bool NameKeyAt(std::uint32_t slot, std::uint32_t& key) const;
    bool NamesAreRight() const;
    IndexStatus Failure() const;
    bool CheckedOffset(std::uint32_t position, std::size_t& offset) const;
    bool Need(std::size_t begin, std::size_t end) const;
    bool LoadBlocks(std::size_t first, std::size_t end) const;

    // Lazily filled: only the blocks loaded hold their bytes.
    mutable IndexBytes bytes_;
    std::uint32_t count_ = 0;
    std::uint32_t version_ = 0;
    std::uint64_t generation_ = 0;
    IndexFileMark mark_;
    std::size_t recordsEnd_ = 0;  // where the name table starts
    std::size_t checkedEnd_ = 0;  // where the block checksums start
    std::vector<std::uint32_t> blockChecksums_;
    mutable std::vector<bool> loaded_;
    mutable std::shared_ptr<IndexSource> source_;
    mutable IndexStatus failure_ = IndexStatus::Ok;  // of a load that failed
    mutable bool complete_ = false;
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
    // Reads the header, block checksums and changes of an index file;
    // lookups read the rest as they need it.
    static IndexStatus Open(std::shared_ptr<IndexSource> source, std::uint64_t fileSize, IndexImage& image);
    // Reads and checks the whole index, as Count, EntryAt and Rewritten need.
    IndexStatus Load() const { return base_->Load(); }

    std::uint64_t Generation() const { return generation_; }
    // The file this index was read from or committed as.
    const IndexFileMark& FileMark() const { return file_; }
    // Bytes of change records that follow the base in that file.
    std::uint64_t ChangesSize() const { return file_.size - base_->Size(); }
    // Whether that file is one that change records may be appended to.
    bool TakesChanges() const;

    LookupStatus Lookup(std::u16string_view id, IndexEntry& entry) const;
    // Lookup for an index already checked, where it cannot fail.
    std::optional<IndexEntry> Find(std::u16string_view id) const;
    // The destinations that may name a file called name (as a path's last
    // component), for the caller to compare as paths.
    IndexStatus DestinationsNamed(std::u16string_view name, std::vector<std::u16string>& destinations) const;

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
    bool AddChanges(const IndexBytes& changes);
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
