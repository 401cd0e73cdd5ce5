#include <string>

#include "commands/CommandSupport.h"
#include "commands/Commands.h"
#include "files/LocalFiles.h"
#include "options/ArgumentMap.h"
#include "repository/ContractCalls.h"
#include "repository/RepositorySession.h"

namespace commands {

bool RunModifyFile() {
    if (!RequireOptions(L"modifyFile", {L"/fileId", L"/sourceFilePath"})) return false;
    const std::wstring fileId = options::OptionValue(L"/fileId");

    IZarnFile* file = nullptr;
    if (repository::GetFile(repository::CurrentRepository(), fileId.c_str(), &file) != 0) {
        return Fail(L"Error adding new file to IZarnRepository.\n\n");
    }
    std::uint32_t byteCount = 0;
    files::ContentBuffer buffer;
    if (!files::ReadSourceFile(byteCount, buffer)) return false;
    IZarnFileStream* stream = nullptr;
    if (repository::OpenStream(file, KVDFILES_OPEN_FOR_WRITING, &stream) != 0) {
        return Fail(L"Error creating IZarnFileStream to repository file.\n\n");
    }
    const KvdStatus written = repository::Write(stream, buffer.get(), byteCount);
    repository::Close(stream);
    buffer.reset();
    if (written != 0) return Fail(L"Error writting file.\n\n");
    const std::wstring storedPath = repository::GetPath(repository::GetInfo(file));
    return files::MakeBackupCopy(storedPath) && files::MakeBackupCopy(KVDFILES_INDEX_FILE_NAME);
}

}  // namespace commands
