// Files for tests: a directory of one's own, whole files read and written,
// and trees of files as maps from relative name to content.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace test_support {

// File names as UTF-8 text (on POSIX, any bytes), turned into paths and back
// without a locale's say.
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

// Both throw std::runtime_error when the file cannot be read or written.
std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& content);

// Files below a directory: relative name with "/" -> content. A directory's
// content is "<directory>"; a file larger than 64 MiB is not read, its content
// is "<N bytes>".
using FileTree = std::map<std::string, std::string>;

// Every file and directory below root but symbolic links and the names skip
// accepts.
FileTree ReadFileTree(const std::filesystem::path& root, const std::function<bool(const std::string&)>& skip = {});
// Writes the files below root, making their directories; a name ending in "/"
// makes a directory.
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
