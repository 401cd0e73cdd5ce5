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

void Reseal(kvd::IndexBytes& bytes) {
    if (bytes.size() < 36) return;
    std::uint64_t size = bytes.size();
    for (std::size_t i = 0; i < 8; ++i) bytes[24 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    const std::uint32_t crc = kvd::Crc32c(bytes.data(), bytes.size() - 4);
    for (std::size_t i = 0; i < 4; ++i) bytes[bytes.size() - 4 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
}

// A change must give an index that reads back, both as a new file and,
// where the file takes changes, appended to it.
void ExpectReadsBack(const kvd::IndexImage& image, const kvd::IndexBytes& file, const kvd::IndexChange& change) {
    const auto rewritten = image.Rewritten(change);
    if (rewritten && !kvd::IndexImage::Parse(rewritten->Bytes())) __builtin_trap();
    if (!image.TakesChanges()) return;
    kvd::IndexBytes appended = file;
    appended.insert(appended.end(), change.bytes.begin(), change.bytes.end());
    const auto read = kvd::IndexImage::Parse(std::move(appended));
    if (!read || read->Find(change.id).has_value() != change.record.has_value()) __builtin_trap();
}

void Exercise(const kvd::IndexImage& image, const kvd::IndexBytes& file) {
    for (std::uint32_t position = 0; position < image.Count(); ++position) {
        const kvd::IndexEntry entry = image.EntryAt(position);
        const auto found = image.Find(entry.id);
        if (!found || found->destination != entry.destination) __builtin_trap();
    }
    image.Find(u"");
    if (image.Count() > 0) {
        if (const auto removal = image.Remove(image.EntryAt(0).id)) ExpectReadsBack(image, file, *removal);
    }
    kvd::IndexEntry added;
    added.id = u"fuzz";
    added.destination = u"fuzz";
    added.permissions = 1;
    if (const auto put = image.Put(added)) ExpectReadsBack(image, file, *put);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kvd::IndexBytes bytes(data, data + size);
    if (const auto image = kvd::IndexImage::Parse(bytes)) Exercise(*image, bytes);
    Reseal(bytes);
    if (const auto image = kvd::IndexImage::Parse(bytes)) Exercise(*image, bytes);
    return 0;
}
