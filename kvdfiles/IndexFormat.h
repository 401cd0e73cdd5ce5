// The index file "ZarnRepository.bin": every entry of a repository in one
// checksummed file, the same bytes on every platform.
//
// Layout (integers little-endian, texts UTF-16LE code units):
//   header   magic[8] "ZRIDX\r\n\x1A", u32 format version (1), u32 entry count,
//            u64 generation, u64 file size
//   offsets  u32 per entry: where its record starts, in identifier order
//   records  u64 content size, i64 time added, i64 time last changed (both
//            microseconds since 1970-01-01 UTC), u32 permissions, then the
//            identifier, destination, version and description, each a u32
//            count of code units followed by the units
//   trailer  u32 CRC-32C of every byte before it
// Records are sorted by identifier, comparing code units as unsigned
// numbers, and follow each other without gaps, so the offset table lets a
// lookup binary-search without decoding the entries in between.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvd {

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

// A validated index held as its file bytes. Default-constructed, it is the
// index of a repository that has no index file yet.
class IndexImage {
public:
    IndexImage() = default;

    // Checks every byte of a whole index file; nothing when any check fails.
    static std::optional<IndexImage> Parse(std::vector<std::uint8_t> bytes);

    std::uint32_t Count() const { return count_; }
    // Grows by one with each commit; tells a recovering writer whether the
    // commit it finds in the journal happened.
    std::uint64_t Generation() const { return generation_; }
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

    // The position of the entry with this identifier, by binary search.
    std::optional<std::uint32_t> Find(std::u16string_view id) const;
    // Entries in identifier order, for position 0 to Count() - 1.
    IndexEntry EntryAt(std::uint32_t position) const;
    std::u16string DestinationAt(std::uint32_t position) const;
    // The positions whose destination's last code units are tail, in one pass
    // that decodes no destination.
    std::vector<std::uint32_t> DestinationsEndingWith(std::u16string_view tail) const;

    // The next generation: entry added, or replacing the entry with its
    // identifier. Nothing when the file would grow past 4 GiB.
    std::optional<IndexImage> WithEntry(const IndexEntry& entry) const;
    std::optional<IndexImage> WithoutEntry(std::uint32_t position) const;

private:
    struct RecordSpan {
        std::size_t begin = 0;
        std::size_t end = 0;
    };

    RecordSpan RecordAt(std::uint32_t position) const;
    std::u16string TextAt(std::size_t& at) const;
    int CompareId(std::uint32_t position, std::u16string_view id) const;
    std::optional<IndexImage> Rebuild(std::optional<std::uint32_t> dropped, std::uint32_t insertAt,
                                      const std::vector<std::uint8_t>* inserted) const;

    std::vector<std::uint8_t> bytes_;
    std::uint32_t count_ = 0;
    std::uint64_t generation_ = 0;
};

}  // namespace kvd
