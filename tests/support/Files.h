// Files for tests: a directory of one's own, whole files, and trees of files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace test_support {

// File names as UTF-8 (on POSIX, any bytes) to paths and back, whatever the locale.
std::filesystem::path PathFromUtf8(std::string_view text);
std::string Utf8FromPath(const std::filesystem::path& path);

// A fresh directory below base, removed with everything in it when it goes.
class TemporaryDirectory {
public:
    explicit TemporaryDirectory(const std::filesystem::path& base = std::filesystem::temp_directory_path());
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::wstring Wide() const { return path_.wstring(); }

private:
    std::filesystem::path path_;
};

// Both throw std::runtime_error when they fail.
std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& content);

// Relative name with "/" -> content: "<directory>" for a directory, "<N bytes>"
// for a file larger than 64 MiB.
using FileTree = std::map<std::string, std::string>;

// Every file and directory below root but symbolic links and the names skip accepts.
FileTree ReadFileTree(const std::filesystem::path& root, const std::function<bool(const std::string&)>& skip = {});
// Writes the files below root with their directories; a name ending in "/" is a directory.
void WriteFileTree(const std::filesystem::path& root, const FileTree& files);

// A file of the given size that takes no disk space (a hole).
void MakeSparseFile(const std::filesystem::path& path, std::uintmax_t size);

// Holds an existing file open for writing until it goes, as a program writing
// it would: on Windows others may then only read it.
class FileHeldForWriting {
public:
    explicit FileHeldForWriting(const std::filesystem::path& path);
    ~FileHeldForWriting();
    FileHeldForWriting(const FileHeldForWriting&) = delete;
    FileHeldForWriting& operator=(const FileHeldForWriting&) = delete;

private:
    std::intptr_t handle_ = -1;
};

}  // namespace test_support
