#include <string>

#include "fileio/FileIo.h"
#include "files/LocalFiles.h"
#include "options/ArgumentMap.h"
#include "platform/Platform.h"

namespace files {
namespace {

// Counts are shown as signed 32-bit numbers.
std::wstring AsSigned(std::uint64_t count) { return std::to_wstring(static_cast<std::int32_t>(count)); }

bool WriteOpenFile(fileio::File file, const std::uint8_t* buffer, std::uint32_t byteCount) {
    std::size_t bytesWritten = 0;
    // Written from the file's own position, so that a pipe or a terminal
    // takes the content as well as a file does.
    if (const auto error = fileio::Write(file, fileio::kCurrentPosition, buffer, byteCount, bytesWritten)) {
        platform::PrintText(L"Error writing to target file. GetLastError(): " + std::to_wstring(error.value()) +
                            L"\n\n");
        return false;
    }
    if (bytesWritten != byteCount) {
        platform::PrintText(L"Error writing to target file. Buffer size: " + AsSigned(byteCount) +
                            L" bytes. Written: " + AsSigned(bytesWritten) + L" bytes\n\n");
        return false;
    }
    return true;
}

}  // namespace

bool WriteTargetFile(const std::uint8_t* buffer, std::uint32_t byteCount) {
    fileio::File file;
    if (fileio::Open(fileio::PathFromWide(options::OptionValue(L"/targetFilePath")), fileio::Access::Write,
                     fileio::Disposition::CreateOrTruncate, fileio::Sharing::Read, file)) {
        platform::PrintText(L"Error opening target file.\n\n");
        return false;
    }
    const bool written = WriteOpenFile(file, buffer, byteCount);
    fileio::Close(file);
    return written;
}

}  // namespace files
