// The change records that follow a base (IndexFormat.h): one commit's entry
// put or removed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvd {

// A change record, and the identifier and record it puts (no record: the
// identifier's entry is removed). The identifier is kept in the form a
// record holds it (IndexRecord.h): its bytes order as its units do, and
// reading a change needs no decoding.
struct IndexChange {
    std::vector<std::uint8_t> bytes;
    std::string id;
    std::optional<std::vector<std::uint8_t>> record;
};

// The change record of generation that puts record, the record of the entry
// id, or without a record removes the entry id.
IndexChange EncodeChange(std::uint64_t generation, std::u16string id, std::optional<std::vector<std::uint8_t>> record);

// Reads the change record at at of the size bytes at data, which must carry
// generation, and moves at past it. False for anything but a whole,
// well-formed record. A record of an older version is put in the current
// form.
bool ReadChange(const std::uint8_t* data, std::size_t size, std::size_t& at, std::uint64_t generation,
                std::uint32_t recordVersion, IndexChange& change);

}  // namespace kvd
