#include "inspect/tests/RepositoryFixture.h"

#include <stdexcept>

#include "encoding/WideText.h"
#include "kvdfiles/Crc32c.h"
#include "kvdfiles/IndexImage.h"
#include "kvdfiles/Utf16Text.h"
#include "tests/support/Files.h"

namespace inspect_test {
namespace {

kvd::IndexEntry IndexEntryOf(const FixtureEntry& entry) {
    kvd::IndexEntry indexEntry;
    indexEntry.id = kvd::Utf16FromWide(entry.fileId);
    indexEntry.destination = kvd::Utf16FromWide(entry.destination);
    indexEntry.version = kvd::Utf16FromWide(entry.version);
    indexEntry.description = kvd::Utf16FromWide(entry.description);
    indexEntry.permissions = entry.permissions;
    indexEntry.contentSize = entry.content.size();
    indexEntry.addedMicros = entry.timeAdded;
    indexEntry.changedMicros = entry.timeLastChanged;
    indexEntry.contentChecksum =
        kvd::Crc32c(reinterpret_cast<const std::uint8_t*>(entry.content.data()), entry.content.size());
    return indexEntry;
}

}  // namespace

// On POSIX a name is bytes, mapped from wide text as the tool maps it; on
// Windows it is the wide text itself.
std::filesystem::path StoredCopyPath(const std::filesystem::path& directory, const std::wstring& destination) {
#ifdef _WIN32
    return directory / std::filesystem::path(destination);
#else
    return directory / std::filesystem::path(encoding::BytesFromWide(destination));
#endif
}

// Each index file written here is a whole new one, holding no changes.
kvd::IndexImage WithEntry(const kvd::IndexImage& index, const kvd::IndexEntry& entry) {
    const auto change = index.Put(entry);
    auto next = change ? index.Rewritten(*change) : std::nullopt;
    if (!next) throw std::runtime_error("index too large");
    return std::move(*next);
}

void WriteIndexWithoutEntries(const std::filesystem::path& directory) {
    std::filesystem::create_directories(directory);
    const auto withOne = WithEntry(kvd::IndexImage(), IndexEntryOf({L"id", L"copy", L"", L"", 1, "", 0, 0}));
    const auto removal = withOne.Remove(u"id");
    const auto withNone = removal ? withOne.Rewritten(*removal) : std::nullopt;
    if (!withNone) throw std::runtime_error("no index without entries");
    const kvd::IndexBytes& bytes = withNone->Bytes();
    test_support::WriteFileBytes(directory / "ZarnRepository.bin", std::string(bytes.begin(), bytes.end()));
}

void WriteRepository(const std::filesystem::path& directory, const std::vector<FixtureEntry>& entries) {
    std::filesystem::create_directories(directory);
    kvd::IndexImage index;
    for (const FixtureEntry& entry : entries) {
        index = WithEntry(index, IndexEntryOf(entry));
        const std::filesystem::path stored = StoredCopyPath(directory, entry.destination);
        std::filesystem::create_directories(stored.parent_path());
        test_support::WriteFileBytes(stored, entry.content);
    }
    const kvd::IndexBytes& bytes = index.Bytes();
    test_support::WriteFileBytes(directory / "ZarnRepository.bin", std::string(bytes.begin(), bytes.end()));
}

}  // namespace inspect_test
