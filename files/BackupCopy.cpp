#include "fileio/FileIo.h"
#include "files/LocalFiles.h"
#include "options/ArgumentMap.h"
#include "platform/Platform.h"

namespace files {
namespace {

// A relative name is taken inside the repository directory. The current
// directory already is that directory, so only an absolute /reposDirPath is put
// in front; a relative one would name a folder of the same name within it.
std::wstring FullNameOf(const std::wstring& path) {
    if (!platform::IsRelativePath(path)) return path;
    const std::wstring& repositoryDirectory = options::ProcessArguments()[L"/reposDirPath"];
    if (platform::IsRelativePath(repositoryDirectory)) return path;
    return repositoryDirectory + platform::kPathSeparator + path;
}

}  // namespace

bool MakeBackupCopy(const std::wstring& path) {
    const std::wstring fullName = FullNameOf(path);
    if (!fileio::CopyReplacing(fileio::PathFromWide(fullName), fileio::PathFromWide(fullName + L".bak"))) return true;
    platform::PrintText(L"Error creating file backup.\n\n");
    return false;
}

}  // namespace files
