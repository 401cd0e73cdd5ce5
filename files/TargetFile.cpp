#include <string>

#include "fileio/FileIo.h"
#include "files/LocalFiles.h"
#include "options/ArgumentMap.h"
#include "platform/Platform.h"
#include "repository/contract/KVDFiles.h"

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

// The files the repository library keeps for itself in the repository
// directory: the index, its lock, the tool's backup of the index, and the
// library's temporaries.
bool IsRepositoryFileName(const fileio::Path& name) {
    return name == KVDFILES_INDEX_FILE_NAME || name == L"ZarnRepository.lock" || name == L"ZarnRepository.bin.bak" ||
           name.native().starts_with(fileio::Path(".kvd-").native());
}

bool SameFile(const fileio::FileStatus& a, const fileio::FileStatus& b) {
    return a.kind != fileio::FileKind::Missing && a.kind == b.kind && a.device == b.device && a.inode == b.inode;
}

// Whether target is one of those files of the open repository, whose
// directory is the current one by now: by its folder and name however the
// path spells them, or, where it exists, by being the same file.
bool IsRepositoryFile(const fileio::Path& target) {
    fileio::FileStatus repository;
    fileio::FileStatus folder;
    if (IsRepositoryFileName(target.filename()) && !fileio::Status(".", repository) &&
        !fileio::Status(fileio::ParentOf(target), folder) && SameFile(repository, folder)) {
        return true;
    }
    fileio::FileStatus existing;
    if (fileio::Status(target, existing) || existing.kind == fileio::FileKind::Missing) return false;
    for (const wchar_t* own : {KVDFILES_INDEX_FILE_NAME, L"ZarnRepository.lock", L"ZarnRepository.bin.bak"}) {
        fileio::FileStatus status;
        if (!fileio::Status(own, status) && SameFile(status, existing)) return true;
    }
    return false;
}

bool OpenTarget(const fileio::Path& target, fileio::File& file) {
    if (IsRepositoryFile(target)) return false;
    return !fileio::Open(target, fileio::Access::Write, fileio::Disposition::CreateOrTruncate, fileio::Sharing::Read,
                         file);
}

}  // namespace

bool WriteTargetFile(const std::uint8_t* buffer, std::uint32_t byteCount) {
    fileio::File file;
    if (!OpenTarget(fileio::PathFromWide(options::OptionValue(L"/targetFilePath")), file)) {
        platform::PrintText(L"Error opening target file.\n\n");
        return false;
    }
    const bool written = WriteOpenFile(file, buffer, byteCount);
    fileio::Close(file);
    return written;
}

}  // namespace files
