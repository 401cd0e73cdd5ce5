#include <cstdint>
#include <new>

#include "files/LocalFiles.h"
#include "options/ArgumentMap.h"
#include "platform/Platform.h"

namespace files {
namespace {

// The content and its two zero bytes must fit a 32-bit count.
constexpr std::uint64_t kLargestSourceSize = 0xFFFFFFFFull - 2;

bool ReportReadError() {
    platform::PrintText(L"Error reading source file.\n\n");
    return false;
}

bool ReadOpenFile(platform::FileHandle file, std::uint32_t& byteCount, ContentBuffer& buffer) {
    std::uint64_t size = 0;
    if (!platform::QueryFileSize(file, size) || size > kLargestSourceSize) return ReportReadError();
    byteCount = static_cast<std::uint32_t>(size);
    buffer.reset(new (std::nothrow) std::uint8_t[byteCount + 2ull]);
    if (!buffer) return ReportReadError();
    // Only the two zero bytes need setting: a read that leaves any content
    // byte unwritten fails below.
    buffer[byteCount] = 0;
    buffer[byteCount + 1ull] = 0;
    std::size_t bytesRead = 0;
    // A file that shrank while it was read must not pass as zero-padded content.
    if (!platform::ReadFromFile(file, buffer.get(), byteCount, bytesRead) || bytesRead != byteCount) {
        return ReportReadError();
    }
    return true;
}

}  // namespace

bool ReadSourceFile(std::uint32_t& byteCount, ContentBuffer& buffer) {
    const platform::FileHandle file = platform::OpenFileForReading(options::OptionValue(L"/sourceFilePath"));
    if (!file.IsOpen()) {
        platform::PrintText(L"Error opening source file.\n\n");
        return false;
    }
    const bool read = ReadOpenFile(file, byteCount, buffer);
    platform::CloseFile(file);
    return read;
}

}  // namespace files
