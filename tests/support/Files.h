// Whole-file helpers for setting up and checking a test's files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

namespace test_support {

// Regular files below a directory: relative path (with "/") -> content.
using FileTree = std::map<std::string, std::string>;

std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& content);

// Every regular file below root, recursively, except those whose relative
// name skip accepts. A file larger than largestReadSize is not read; its entry
// says "(N bytes, not read)".
using NameFilter = std::function<bool(const std::string& name)>;
FileTree ReadFileTree(const std::filesystem::path& root, const NameFilter& skip = {},
                      std::uintmax_t largestReadSize = 64u << 20);

// A file of the given size that takes no disk space (a hole).
void MakeSparseFile(const std::filesystem::path& path, std::uintmax_t size);

// Holds an existing file open for writing until it goes, as a program writing
// it would. Meanwhile, on Windows, others may read it but not open it with a
// sharing mode that excludes writers; POSIX has no such rule.
class FileHeldForWriting {
public:
    explicit FileHeldForWriting(const std::filesystem::path& path);
    ~FileHeldForWriting();
    FileHeldForWriting(const FileHeldForWriting&) = delete;
    FileHeldForWriting& operator=(const FileHeldForWriting&) = delete;

private:
    std::intptr_t handle_;
};

}  // namespace test_support
