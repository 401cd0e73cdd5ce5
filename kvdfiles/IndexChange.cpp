#include "kvdfiles/IndexChange.h"

#include <algorithm>
#include <array>

#include "kvdfiles/Crc32c.h"
#include "kvdfiles/IndexFormat.h"
#include "kvdfiles/IndexRecord.h"
#include "kvdfiles/LittleEndian.h"

namespace kvd {
namespace {

using layout::kChecksumSize;

constexpr std::array<std::uint8_t, 4> kChangeMagic = {'Z', 'R', 'C', 'H'};
constexpr std::size_t kFrameSize = 8;   // magic, size
constexpr std::size_t kFixedSize = 12;  // generation, kind
constexpr std::uint32_t kPutChange = 1;
constexpr std::uint32_t kRemoveChange = 2;

std::vector<std::uint8_t> EncodeRecord(std::uint64_t generation, std::uint32_t kind,
                                       const std::vector<std::uint8_t>& body) {
    std::vector<std::uint8_t> change(kChangeMagic.begin(), kChangeMagic.end());
    AppendU32(change, static_cast<std::uint32_t>(kFixedSize + body.size()));
    AppendU64(change, generation);
    AppendU32(change, kind);
    change.insert(change.end(), body.begin(), body.end());
    AppendU32(change, Crc32c(change.data(), change.size()));
    return change;
}

}  // namespace

IndexChange EncodeChange(std::uint64_t generation, std::u16string id, std::optional<std::vector<std::uint8_t>> record) {
    IndexChange change;
    if (record) {
        change.bytes = EncodeRecord(generation, kPutChange, *record);
    } else {
        std::vector<std::uint8_t> body;
        record::AppendText(body, id);
        change.bytes = EncodeRecord(generation, kRemoveChange, body);
    }
    const std::vector<std::uint8_t> units = record::EncodeText(id);
    change.id.assign(units.begin(), units.end());
    change.record = std::move(record);
    return change;
}

bool ReadChange(const std::uint8_t* data, std::size_t size, std::size_t& at, std::uint64_t generation,
                std::uint32_t recordVersion, IndexChange& change) {
    if (size - at < kFrameSize + kFixedSize + kChecksumSize) return false;
    if (!std::equal(kChangeMagic.begin(), kChangeMagic.end(), data + at)) return false;
    const std::size_t changeSize = ReadU32(data + at + 4);
    if (changeSize < kFixedSize || size - at - kFrameSize - kChecksumSize < changeSize) return false;
    const std::size_t end = at + kFrameSize + changeSize;
    if (Crc32c(data + at, end - at) != ReadU32(data + end)) return false;
    if (ReadU64(data + at + 8) != generation || !layout::IsValidGeneration(generation)) return false;
    const std::uint32_t kind = ReadU32(data + at + 16);
    std::size_t body = at + kFrameSize + kFixedSize;
    record::Span id;
    if (kind == kPutChange) {
        record::View view;
        if (!record::ParseWhole(data, body, end, view, recordVersion)) return false;
        change.record.emplace(data + body, data + end);
        if (recordVersion != record::kVersion)
            change.record = record::Transcoded(data + body, end - body, recordVersion);
        id = view.id;
    } else if (kind != kRemoveChange || !record::ParseText(data, body, end, id) || body != end || id.end == id.begin) {
        return false;
    }
    change.id.assign(reinterpret_cast<const char*>(data + id.begin), id.end - id.begin);
    at = end + kChecksumSize;
    return true;
}

}  // namespace kvd
