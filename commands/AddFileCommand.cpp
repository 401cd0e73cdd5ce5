#include <string>

#include "commands/CommandSupport.h"
#include "commands/Commands.h"
#include "files/LocalFiles.h"
#include "options/ArgumentMap.h"
#include "repository/ContractCalls.h"
#include "repository/RepositorySession.h"

namespace commands {

bool RunAddFile() {
    if (!RequireOptions(L"addFile", {L"/fileId", L"/fileDesc", L"/fileVersion", L"/filePermissions", L"/sourceFilePath",
                                     L"/targetFilePath"})) {
        return false;
    }
    const std::wstring fileId = options::OptionValue(L"/fileId");
    const std::wstring description = options::OptionValue(L"/fileDesc");
    const std::wstring version = options::OptionValue(L"/fileVersion");
    const std::wstring targetPath = options::OptionValue(L"/targetFilePath");
    const std::int32_t permissions = ParseLeadingInteger(options::OptionValue(L"/filePermissions"));

    IZarnFileStream* stream = nullptr;
    if (repository::AddFile(repository::CurrentRepository(), fileId.c_str(), targetPath.c_str(), version.c_str(),
                            description.c_str(), permissions, &stream) != 0) {
        return Fail(L"Error adding new file to IZarnRepository.\n\n");
    }
    std::uint32_t byteCount = 0;
    files::ContentBuffer buffer;
    if (!files::ReadSourceFile(byteCount, buffer)) return false;
    const KvdStatus written = repository::Write(stream, buffer.get(), byteCount);
    repository::Close(stream);
    buffer.reset();
    if (written != 0) return Fail(L"Error writting file.\n\n");
    return files::MakeBackupCopy(targetPath) && files::MakeBackupCopy(KVDFILES_INDEX_FILE_NAME);
}

}  // namespace commands
