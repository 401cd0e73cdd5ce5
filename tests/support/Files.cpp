#include "tests/support/Files.h"

#include <fstream>
#include <stdexcept>

#include "tests/support/Utf8Path.h"

namespace test_support {
namespace {

// A relative name with "/" between its parts, as UTF-8 text.
std::string GenericName(const std::filesystem::path& relative) {
    const std::u8string name = relative.generic_u8string();
    return std::string(name.begin(), name.end());
}

std::string DescribeLargeFile(std::uintmax_t size) { return "(" + std::to_string(size) + " bytes, not read)"; }

}  // namespace

std::string ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::string content(std::filesystem::file_size(path), '\0');
    file.read(content.data(), static_cast<std::streamsize>(content.size()));
    if (!file) throw std::runtime_error("cannot read " + Utf8FromPath(path));
    return content;
}

void WriteFileBytes(const std::filesystem::path& path, const std::string& content) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!file) throw std::runtime_error("cannot write " + Utf8FromPath(path));
}

FileTree ReadFileTree(const std::filesystem::path& root, const NameFilter& skip, std::uintmax_t largestReadSize) {
    FileTree tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        const std::string name = GenericName(entry.path().lexically_relative(root));
        if (skip && skip(name)) continue;
        const std::uintmax_t size = entry.file_size();
        tree[name] = size > largestReadSize ? DescribeLargeFile(size) : ReadFileBytes(entry.path());
    }
    return tree;
}

void MakeSparseFile(const std::filesystem::path& path, std::uintmax_t size) {
    WriteFileBytes(path, "");
    std::filesystem::resize_file(path, size);
}

}  // namespace test_support
