#include <cstdint>
#include <new>

#include "fileio/FileIo.h"
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

bool ReadOpenFile(fileio::File file, std::uint32_t& byteCount, ContentBuffer& buffer) {
    fileio::FileStatus status;
    if (fileio::Status(file, status) || status.size > kLargestSourceSize) return ReportReadError();
    byteCount = static_cast<std::uint32_t>(status.size);
    buffer.reset(new (std::nothrow) std::uint8_t[byteCount + 2ull]);
    if (!buffer) return ReportReadError();
    // Only the two zero bytes need setting: a read that leaves any content
    // byte unwritten fails below.
    buffer[byteCount] = 0;
    buffer[byteCount + 1ull] = 0;
    std::size_t bytesRead = 0;
    // A file that shrank while it was read must not pass as zero-padded content.
    if (fileio::Read(file, fileio::kCurrentPosition, buffer.get(), byteCount, bytesRead) || bytesRead != byteCount) {
        return ReportReadError();
    }
    return true;
}

// Opens an existing file for reading while others may only read it; a
// directory does not count as one.
bool OpenSource(const std::wstring& path, fileio::File& file) {
    if (fileio::Open(fileio::PathFromWide(path), fileio::Access::Read, fileio::Disposition::OpenExisting,
                     fileio::Sharing::Read, file)) {
        return false;
    }
    fileio::FileStatus status;
    if (!fileio::Status(file, status) && status.kind != fileio::FileKind::Directory) return true;
    fileio::Close(file);
    return false;
}

}  // namespace

bool ReadSourceFile(std::uint32_t& byteCount, ContentBuffer& buffer) {
    fileio::File file;
    if (!OpenSource(options::OptionValue(L"/sourceFilePath"), file)) {
        platform::PrintText(L"Error opening source file.\n\n");
        return false;
    }
    const bool read = ReadOpenFile(file, byteCount, buffer);
    fileio::Close(file);
    return read;
}

}  // namespace files
