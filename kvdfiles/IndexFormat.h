// The index file "ZarnRepository.bin": every entry of a repository in one
// checksummed file, the same bytes on every platform.
//
// Layout of version 3, the one written. Integers are little-endian; every
// checksum is a CRC-32C (Castagnoli, reflected polynomial 0x82F63B78, all
// ones before and after); a position counts bytes from the file's first.
//   header   magic[8] "ZRIDX\r\n\x1A", u32 format version 3, u32 entry count
//            n, u64 generation, u64 base size (where the footer ends)
//   offsets  n u32: where each record starts, in the records' order
//   records  n records of version 3 as IndexRecord.h lays them out, one
//            right after the other, the first right after the offsets, in
//            rising order of
//            their identifiers' bytes (which is the order of their UTF-16
//            code units as unsigned numbers); no identifier twice
//   names    n pairs u32 key, u32 position (0 to n - 1) of a record, each
//            position once, sorted by key and then position; the key is the
//            checksum of the bytes of the record's destination after its last
//            '/', '\\' or ':' (all of them when it has none)
// The bytes so far, from the file's first one to the end of the names, are
// the checked bytes, of size c. Then:
//   blocks   u32 checksum of each block of the checked bytes: the first 4096,
//            the next 4096, ..., the last one the rest (up to 4096)
//   footer   u32 c, u32 checksum of the block checksums and c
// That is the base, c + 4 * ceil(c / 4096) + 8 bytes. The offsets lead a
// lookup to any record without decoding the ones before it, the blocks let
// it check only the bytes it reads, and the names find the entries whose
// stored copy may be a given file.
//
// Change records may follow the base, each appended by one commit:
//   magic[4] "ZRCH", u32 size of what follows up to the checksum (12 + the
//   body's size), u64 generation (the previous one plus one), u32 kind, the
//   body, u32 checksum of every byte of the change before it.
// Kind 1 puts the record that is the body, adding its entry or replacing the
// entry with its identifier; kind 2 removes the entry whose identifier the
// body is, a text as a record holds it (a varint byte count and the units),
// not empty. The index holds the base's entries with every change applied in
// order, and the file ends where a base or a change ends. Its generation is
// the last change's, else the base's: the first commit writes 1, each next
// one more; 0 and 2^64 - 1 are never valid.
//
// Version 2, still read (and rewritten as version 3 by the next change): the
// same, with records of version 2 in the base and in the change records.
// Version 1, still read (and rewritten as version 3 by the next change): the
// same header, but its base size is the file's size; the offsets; records of
// version 1 (IndexRecord.h) in the same order; a u32 checksum of every byte
// before it. No names, blocks, footer or change records.
//
// CheckedBlocks.h reads and writes the blocks and the footer, IndexBase.h the
// header, offsets, records and names, IndexChange.h the change records, and
// IndexImage.h puts a base and its changes together.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

namespace kvd {

namespace layout {

constexpr std::array<std::uint8_t, 8> kMagic = {'Z', 'R', 'I', 'D', 'X', '\r', '\n', 0x1A};
constexpr std::uint32_t kFormatVersion = 3;
constexpr std::uint32_t kUnmarkedVersion = 2;  // records without marks
constexpr std::uint32_t kBaseOnlyVersion = 1;  // no change records may follow
constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kChecksumSize = 4;
constexpr std::uint64_t kMaxFileSize = std::numeric_limits<std::uint32_t>::max();

// The first commit writes 1; the largest value would leave no next one.
constexpr bool IsValidGeneration(std::uint64_t generation) {
    return generation != 0 && generation != std::numeric_limits<std::uint64_t>::max();
}

}  // namespace layout

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
    std::array<std::uint8_t, layout::kHeaderSize> header{};
    std::uint64_t size = 0;
    std::uint32_t lastWord = 0;  // the checksum that ends the file
    bool operator==(const IndexFileMark&) const = default;
};

}  // namespace kvd
