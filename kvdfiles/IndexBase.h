// A base: the header, offsets, records and names of IndexFormat.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "kvdfiles/CheckedBlocks.h"
#include "kvdfiles/IndexFormat.h"
#include "kvdfiles/IndexRecord.h"

namespace kvd {

// The entries of a base in identifier order, found by position. Opened from
// a source, it has read and checked its header and block checksums; a
// lookup reads and checks the blocks it touches, and Load() all the others
// and the order of every record. The methods that work by position need
// Load(); the ones that read are not const.
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

    IndexStatus Load();
    bool Loaded() const { return loaded_; }
    LookupStatus Lookup(std::u16string_view id, IndexEntry& entry);
    // The records whose destination's last component has this key, found
    // through the name table and read as needed.
    IndexStatus RecordsWithKey(std::uint32_t key, std::vector<RecordBytes>& found);

    std::uint32_t Count() const { return count_; }
    std::uint64_t Generation() const { return generation_; }
    // As in the file it was read from: a base of an older version is held
    // in the form of the current one.
    std::uint32_t Version() const { return version_; }
    const IndexFileMark& Mark() const { return mark_; }
    std::uint64_t Size() const { return mark_.size; }
    // The whole base, once loaded.
    const IndexBytes& Bytes() const { return blocks_.Bytes(); }

    // Positions of identifiers given in the record form of their units.
    std::uint32_t LowerBound(const std::vector<std::uint8_t>& id) const;
    bool HasIdAt(std::uint32_t position, const std::vector<std::uint8_t>& id) const;
    IndexEntry EntryAt(std::uint32_t position) const;
    RecordBytes RecordAt(std::uint32_t position) const;

    // Where the records lie in the checked bytes, one right after the other,
    // and those bytes read and checked a run of blocks at a time without
    // keeping them, for a walk front to back.
    std::size_t RecordsBegin() const;
    std::size_t RecordsEnd() const { return recordsEnd_; }
    IndexStatus ReadBlocksInto(std::size_t first, std::size_t end, IndexBytes& into) {
        return blocks_.ReadBlocksInto(first, end, into);
    }

private:
    IndexStatus OpenVersion1(IndexSource& source, std::uint64_t fileSize);
    IndexStatus OpenBlocks(std::shared_ptr<IndexSource> source, std::uint64_t baseSize);
    IndexStatus Transcode();
    bool CheckedOffset(std::uint32_t position, std::size_t& offset);
    bool CheckedRecord(std::uint32_t position, RecordBytes& record);
    bool CheckedName(std::uint32_t slot, std::uint32_t& key, std::uint32_t& position);
    bool NamesAreRight() const;
    const std::uint8_t* Data() const { return blocks_.Bytes().data(); }

    CheckedBlocks blocks_;
    std::uint32_t count_ = 0;
    std::uint32_t version_ = 0;
    std::uint32_t recordVersion_ = record::kVersion;  // of the records as held
    std::uint64_t generation_ = 0;
    IndexFileMark mark_;
    std::size_t recordsEnd_ = 0;  // where the name table starts
    bool loaded_ = true;          // every record and name checked
};

}  // namespace kvd
