#include "tests/support/Files.h"

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "fileio/FileIo.h"

namespace test_support {
namespace {

namespace fs = std::filesystem;

constexpr std::uintmax_t kLargestReadSize = std::uintmax_t{64} << 20;

}  // namespace

fs::path PathFromUtf8(std::string_view text) { return fs::path(std::u8string(text.begin(), text.end())); }

std::string Utf8FromPath(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

TemporaryDirectory::TemporaryDirectory(const fs::path& base) {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        const fs::path candidate = base / ("zarnrepo-test-" + std::to_string(random()));
        // Canonical, so that paths a program reports back compare equal.
        if (fs::create_directory(candidate)) path_ = fs::canonical(candidate);
    }
    if (path_.empty()) throw std::runtime_error("no temporary directory in " + Utf8FromPath(base));
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string ReadFileBytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::string content(std::istreambuf_iterator<char>(file), {});
    if (!file.is_open() || file.bad()) throw std::runtime_error("cannot read " + Utf8FromPath(path));
    return content;
}

void WriteFileBytes(const fs::path& path, const std::string& content) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!file) throw std::runtime_error("cannot write " + Utf8FromPath(path));
}

FileTree ReadFileTree(const fs::path& root, const std::function<bool(const std::string&)>& skip) {
    FileTree tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::u8string relative = entry.path().lexically_relative(root).generic_u8string();
        const std::string name(relative.begin(), relative.end());
        if (entry.is_symlink() || (skip && skip(name))) continue;
        if (entry.is_directory()) {
            tree[name] = "<directory>";
        } else {
            const std::uintmax_t size = entry.file_size();
            tree[name] = size > kLargestReadSize ? "<" + std::to_string(size) + " bytes>" : ReadFileBytes(entry);
        }
    }
    return tree;
}

void WriteFileTree(const fs::path& root, const FileTree& files) {
    for (const auto& [name, content] : files) {
        const fs::path path = root / PathFromUtf8(name);
        fs::create_directories(name.ends_with('/') ? path : path.parent_path());
        if (!name.ends_with('/')) WriteFileBytes(path, content);
    }
}

void MakeSparseFile(const fs::path& path, std::uintmax_t size) {
    WriteFileBytes(path, "");
    fs::resize_file(path, size);
}

FileHeldForWriting::FileHeldForWriting(const fs::path& path) {
    fileio::File file;
    if (fileio::Open(path, fileio::Access::Write, fileio::Disposition::OpenExisting, fileio::Sharing::Read, file)) {
        throw std::runtime_error("cannot open " + Utf8FromPath(path) + " for writing");
    }
    handle_ = file.native;
}

FileHeldForWriting::~FileHeldForWriting() {
    fileio::File file{handle_};
    fileio::Close(file);
}

}  // namespace test_support
