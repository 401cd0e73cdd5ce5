// Helpers shared by the library's tests: scratch directories, whole-file
// reads and writes, and the library's operations as one-line calls.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "repository/contract/KVDFiles.h"

namespace kvdtest {

namespace fs = std::filesystem;

// A fresh directory under the system's temporary folder (or under base),
// removed with its content when the object goes.
class ScratchDirectory {
public:
    explicit ScratchDirectory(const fs::path& base = fs::temp_directory_path());
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const fs::path& Path() const { return path_; }
    std::wstring Wide() const { return path_.wstring(); }

private:
    fs::path path_;
};

std::string ReadBytes(const fs::path& path);
void WriteBytes(const fs::path& path, const std::string& bytes);

// Every file below root (relative name -> content), directories excluded.
std::map<std::string, std::string> Snapshot(const fs::path& root);
// Names below root that the library uses for its temporary files.
std::vector<std::string> LeftoverNames(const fs::path& root);

// Deterministic content of a given length that names its version.
std::string ContentFor(const std::string& label, std::size_t size);

// The library's operations, as the tool calls them.
KvdStatus AddFile(IZarnRepository* repository, const std::wstring& id, const std::wstring& target,
                  const std::string& content, int32_t permissions = 3,
                  const std::wstring& version = L"1.0", const std::wstring& description = L"a file");
KvdStatus ModifyFile(IZarnRepository* repository, const std::wstring& id, const std::string& content);
KvdStatus RemoveFile(IZarnRepository* repository, const std::wstring& id);
// The stored content as GetFile, OpenStream(1), GetSize and Read give it.
std::optional<std::string> GetContent(IZarnRepository* repository, const std::wstring& id);
std::optional<std::wstring> GetPath(IZarnRepository* repository, const std::wstring& id);

}  // namespace kvdtest
