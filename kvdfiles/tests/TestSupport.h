// Helpers shared by the library's tests: the test kit's directories and
// files (tests/support), and the library's operations as one-line calls.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "repository/contract/KVDFiles.h"
#include "tests/support/Files.h"

namespace kvdtest {

namespace fs = std::filesystem;

using test_support::ReadFileBytes;
using test_support::ReadFileTree;
using test_support::TemporaryDirectory;
using test_support::WriteFileBytes;

// Names below root that the library uses for its temporary files.
std::vector<std::string> LeftoverNames(const fs::path& root);

// Deterministic content of a given length that names its version.
std::string ContentFor(const std::string& label, std::size_t size);

// The library's operations, as the tool calls them.
KvdStatus AddFile(IZarnRepository* repository, const std::wstring& id, const std::wstring& target,
                  const std::string& content, int32_t permissions = 3, const std::wstring& version = L"1.0",
                  const std::wstring& description = L"a file");
KvdStatus ModifyFile(IZarnRepository* repository, const std::wstring& id, const std::string& content);
KvdStatus RemoveFile(IZarnRepository* repository, const std::wstring& id);
// The stored content as GetFile, OpenStream(1), GetSize and Read give it.
std::optional<std::string> GetContent(IZarnRepository* repository, const std::wstring& id);
std::optional<std::wstring> GetPath(IZarnRepository* repository, const std::wstring& id);
// An entry's fields, its texts wide as the getters give them or in another
// form.
template <typename Text>
struct EntryFields {
    Text id, path, version, description;
    int32_t permissions = 0;
    uint64_t contentSize = 0;
    int64_t added = 0, changed = 0;
    bool operator==(const EntryFields&) const = default;
};

// The fields an info's getters give, each text passed through convert.
template <typename Convert>
auto FieldsOf(IZarnFileInfo* info, Convert convert) {
    const IZarnFileInfoTable& table = *info->table;
    return EntryFields<decltype(convert(L""))>{convert(table.GetFileId(info)),  convert(table.GetPath(info)),
                                               convert(table.GetVersion(info)), convert(table.GetDescription(info)),
                                               table.GetPermissions(info),      table.GetContentSize(info),
                                               table.GetTimeAdded(info),        table.GetTimeLastChanged(info)};
}

// The identifiers ListFiles hands out, in its order; nullopt when it fails.
std::optional<std::vector<std::wstring>> ListedIds(IZarnRepository* repository);

}  // namespace kvdtest
