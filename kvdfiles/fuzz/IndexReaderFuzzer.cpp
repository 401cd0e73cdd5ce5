// libFuzzer target for the index reader. Each input is parsed twice: as it
// is, and resealed (size field and checksums made right) so that mutations
// get past the checksums into the structure checks. Whatever parses must
// then answer every lookup without reading out of bounds.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "kvdfiles/Crc32c.h"
#include "kvdfiles/IndexImage.h"
#include "kvdfiles/LittleEndian.h"

namespace {

using kvd::AppendU32;
using kvd::PutU32;

std::uint32_t ReadU32(const kvd::IndexBytes& bytes, std::size_t at) { return kvd::ReadU32(bytes.data() + at); }

// Version 1: the size field and the checksum over the whole file.
void ResealVersion1(kvd::IndexBytes& bytes) {
    PutU32(bytes, 24, static_cast<std::uint32_t>(bytes.size()));
    PutU32(bytes, 28, 0);
    PutU32(bytes, bytes.size() - 4, kvd::Crc32c(bytes.data(), bytes.size() - 4));
}

// Version 2: the block checksums and footer of the base, whose checked bytes
// end where the footer says; change records after the base stay as they are.
void ResealVersion2(kvd::IndexBytes& bytes) {
    const std::size_t baseSize = ReadU32(bytes, 24);
    if (baseSize < 40 || baseSize > bytes.size()) return;
    const std::size_t checkedEnd = ReadU32(bytes, baseSize - 8);
    if (checkedEnd < 32 || checkedEnd > baseSize - 8) return;
    kvd::IndexBytes base(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(checkedEnd));
    const std::size_t blocks = (checkedEnd + 4095) / 4096;
    PutU32(base, 24, static_cast<std::uint32_t>(checkedEnd + 4 * blocks + 8));
    PutU32(base, 28, 0);
    for (std::size_t at = 0; at < checkedEnd; at += 4096) {
        AppendU32(base, kvd::Crc32c(base.data() + at, std::min<std::size_t>(4096, checkedEnd - at)));
    }
    AppendU32(base, static_cast<std::uint32_t>(checkedEnd));
    AppendU32(base, kvd::Crc32c(base.data() + checkedEnd, base.size() - checkedEnd));
    base.insert(base.end(), bytes.begin() + static_cast<std::ptrdiff_t>(baseSize), bytes.end());
    bytes = std::move(base);
}

void Reseal(kvd::IndexBytes& bytes) {
    if (bytes.size() < 40) return;
    if (ReadU32(bytes, 8) == 1) ResealVersion1(bytes);
    else ResealVersion2(bytes);
}

// A change must give an index that reads back, both as a new file and,
// where the file takes changes, appended to it.
void ExpectReadsBack(const kvd::IndexImage& image, const kvd::IndexBytes& file, const kvd::IndexChange& change,
                     const std::u16string& id) {
    const auto rewritten = image.Rewritten(change);
    if (rewritten && !kvd::IndexImage::Parse(rewritten->Bytes())) __builtin_trap();
    if (!image.TakesChanges()) return;
    kvd::IndexBytes appended = file;
    appended.insert(appended.end(), change.bytes.begin(), change.bytes.end());
    auto read = kvd::IndexImage::Parse(std::move(appended));
    if (!read || read->Find(id).has_value() != change.record.has_value()) __builtin_trap();
}

void Exercise(kvd::IndexImage& image, const kvd::IndexBytes& file) {
    for (std::uint32_t position = 0; position < image.Count(); ++position) {
        const kvd::IndexEntry entry = image.EntryAt(position);
        const auto found = image.Find(entry.id);
        if (!found || found->destination != entry.destination) __builtin_trap();
    }
    image.Find(u"");
    if (image.Count() > 0) {
        const std::u16string first = image.EntryAt(0).id;
        if (const auto removal = image.Remove(first)) ExpectReadsBack(image, file, *removal, first);
    }
    kvd::IndexEntry added;
    added.id = u"fuzz";
    added.destination = u"fuzz";
    added.permissions = 1;
    if (const auto put = image.Put(added)) ExpectReadsBack(image, file, *put, added.id);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kvd::IndexBytes bytes(data, data + size);
    if (auto image = kvd::IndexImage::Parse(bytes)) Exercise(*image, bytes);
    Reseal(bytes);
    if (auto image = kvd::IndexImage::Parse(bytes)) Exercise(*image, bytes);
    return 0;
}
