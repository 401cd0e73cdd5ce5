#include <string>

#include "files/LocalFiles.h"
#include "options/ArgumentMap.h"
#include "platform/Platform.h"

namespace files {
namespace {

// Counts are shown as signed 32-bit numbers.
std::wstring AsSigned(std::uint64_t count) { return std::to_wstring(static_cast<std::int32_t>(count)); }

bool WriteOpenFile(platform::FileHandle file, const std::uint8_t* buffer, std::uint32_t byteCount) {
    std::size_t bytesWritten = 0;
    std::int32_t errorCode = 0;
    if (!platform::WriteToFile(file, buffer, byteCount, bytesWritten, errorCode)) {
        platform::PrintText(L"Error writing to target file. GetLastError(): " + std::to_wstring(errorCode) +
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
    const platform::FileHandle file = platform::CreateFileForWriting(options::OptionValue(L"/targetFilePath"));
    if (!file.IsOpen()) {
        platform::PrintText(L"Error opening target file.\n\n");
        return false;
    }
    const bool written = WriteOpenFile(file, buffer, byteCount);
    platform::CloseFile(file);
    return written;
}

}  // namespace files
