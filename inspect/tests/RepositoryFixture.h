// Repositories with chosen content for the end-to-end tests: the index written
// by the library's own index code, with chosen times, and the stored copies.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace inspect_test {

struct FixtureEntry {
    std::wstring fileId;
    std::wstring destination;  // relative to the repository directory
    std::wstring version;
    std::wstring description;
    std::uint32_t permissions = 3;
    std::string content;  // the stored copy; its size is the recorded size
    std::int64_t timeAdded = 0;
    std::int64_t timeLastChanged = 0;
};

// Writes the index of entries into directory (created when missing) and every
// stored copy at its destination.
void WriteRepository(const std::filesystem::path& directory, const std::vector<FixtureEntry>& entries);

// Writes an index that lists no entry, as the library leaves it after the
// last entry was removed.
void WriteIndexWithoutEntries(const std::filesystem::path& directory);

// The place of a destination, wide text mapped to a path as the tool maps it.
std::filesystem::path StoredCopyPath(const std::filesystem::path& directory, const std::wstring& destination);

}  // namespace inspect_test
