// libFuzzer target for the index reader. Each input is parsed twice: as it
// is, and resealed (size field and checksum made right) so that mutations
// get past the checksum into the structure checks. Whatever parses must
// then answer every lookup without reading out of bounds.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "kvdfiles/Crc32c.h"
#include "kvdfiles/IndexFormat.h"

namespace {

void Reseal(std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < 36) return;
    std::uint64_t size = bytes.size();
    for (std::size_t i = 0; i < 8; ++i) bytes[24 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    const std::uint32_t crc = kvd::Crc32c(bytes.data(), bytes.size() - 4);
    for (std::size_t i = 0; i < 4; ++i) bytes[bytes.size() - 4 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
}

void Exercise(const kvd::IndexImage& image) {
    for (std::uint32_t position = 0; position < image.Count(); ++position) {
        const kvd::IndexEntry entry = image.EntryAt(position);
        if (image.Find(entry.id) != position) __builtin_trap();
        if (image.DestinationAt(position) != entry.destination) __builtin_trap();
    }
    image.Find(u"");
    if (image.Count() > 0) {
        const auto without = image.WithoutEntry(0);
        if (without && !kvd::IndexImage::Parse(without->Bytes())) __builtin_trap();
    }
    kvd::IndexEntry added;
    added.id = u"fuzz";
    added.destination = u"fuzz";
    added.permissions = 1;
    const auto with = image.WithEntry(added);
    if (with && !kvd::IndexImage::Parse(with->Bytes())) __builtin_trap();
    if (with && with->Find(added.id) == std::nullopt) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(data, data + size);
    if (const auto image = kvd::IndexImage::Parse(bytes)) Exercise(*image);
    Reseal(bytes);
    if (const auto image = kvd::IndexImage::Parse(bytes)) Exercise(*image);
    return 0;
}
