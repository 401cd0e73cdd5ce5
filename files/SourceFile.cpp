#include <cstdint>
#include <cstdlib>

#include "fileio/FileIo.h"
#include "files/LocalFiles.h"
#include "options/ArgumentMap.h"
#include "platform/Platform.h"

namespace files {
namespace {

// The content and its two zero bytes must fit a 32-bit count.
constexpr std::uint64_t kLargestSourceSize = 0xFFFFFFFFull - 2;
// Where a source of unknown size starts; the buffer doubles as it fills.
constexpr std::size_t kFirstUnknownSizeBuffer = std::size_t{64} << 10;

bool ReportReadError() {
    platform::PrintText(L"Error reading source file.\n\n");
    return false;
}

bool Resize(ContentBuffer& buffer, std::size_t size) {
    void* resized = std::realloc(buffer.get(), size);
    if (resized == nullptr) return false;
    static_cast<void>(buffer.release());
    buffer.reset(static_cast<std::uint8_t*>(resized));
    return true;
}

bool EndWithTwoZeroBytes(ContentBuffer& buffer, std::uint32_t byteCount) {
    buffer[byteCount] = 0;
    buffer[byteCount + 1ull] = 0;
    return true;
}

// A source that says its size: one buffer of that size, one read.
bool ReadKnownSize(fileio::File file, std::uint64_t size, std::uint32_t& byteCount, ContentBuffer& buffer) {
    if (size > kLargestSourceSize) return ReportReadError();
    byteCount = static_cast<std::uint32_t>(size);
    buffer = AllocateContent(byteCount + 2ull);
    if (!buffer) return ReportReadError();
    std::size_t bytesRead = 0;
    // A file that shrank while it was read must not pass as zero-padded content.
    if (fileio::Read(file, fileio::kCurrentPosition, buffer.get(), byteCount, bytesRead) || bytesRead != byteCount) {
        return ReportReadError();
    }
    return EndWithTwoZeroBytes(buffer, byteCount);
}

// A source that does not say its size (a pipe, a device, a file of /proc):
// read to its end into one buffer that grows as it fills.
bool ReadToEnd(fileio::File file, std::uint32_t& byteCount, ContentBuffer& buffer) {
    std::size_t capacity = kFirstUnknownSizeBuffer;
    std::size_t size = 0;
    buffer = AllocateContent(capacity);
    for (;;) {
        if (!buffer) return ReportReadError();
        std::size_t got = 0;
        if (fileio::Read(file, fileio::kCurrentPosition, buffer.get() + size, capacity - size, got)) {
            return ReportReadError();
        }
        size += got;
        if (size > kLargestSourceSize) return ReportReadError();
        if (size < capacity) break;
        capacity = static_cast<std::size_t>(std::min<std::uint64_t>(2ull * capacity, kLargestSourceSize + 2));
        if (!Resize(buffer, capacity)) return ReportReadError();
    }
    byteCount = static_cast<std::uint32_t>(size);
    if (capacity < size + 2 && !Resize(buffer, size + 2)) return ReportReadError();
    return EndWithTwoZeroBytes(buffer, byteCount);
}

bool ReadOpenFile(fileio::File file, std::uint32_t& byteCount, ContentBuffer& buffer) {
    fileio::FileStatus status;
    if (fileio::Status(file, status)) return ReportReadError();
    // A regular file of size 0 may be one whose size the system does not know.
    if (status.kind == fileio::FileKind::Regular && status.size != 0) {
        return ReadKnownSize(file, status.size, byteCount, buffer);
    }
    return ReadToEnd(file, byteCount, buffer);
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

void ContentRelease::operator()(std::uint8_t* bytes) const { std::free(bytes); }

ContentBuffer AllocateContent(std::size_t size) {
    // malloc(0) may give null; a buffer of no bytes still exists.
    ContentBuffer buffer(static_cast<std::uint8_t*>(std::malloc(size != 0 ? size : 1)));
    if (buffer) platform::AdviseLargePages(buffer.get(), size);
    return buffer;
}

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
