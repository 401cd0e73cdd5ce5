#include <string>

#include "commands/CommandSupport.h"
#include "commands/Commands.h"
#include "files/LocalFiles.h"
#include "options/ArgumentMap.h"
#include "repository/ContractCalls.h"
#include "repository/RepositorySession.h"

namespace commands {

bool RunGetFile() {
    if (!RequireOptions(L"getFile", {L"/fileId", L"/targetFilePath"})) return false;
    const std::wstring fileId = options::OptionValue(L"/fileId");

    IZarnFile* file = nullptr;
    if (repository::GetFile(repository::CurrentRepository(), fileId.c_str(), &file) != 0) {
        return Fail(L"Error getting IZarnFile from IZarnRepository.\n\n");
    }
    IZarnFileStream* stream = nullptr;
    if (repository::OpenStream(file, KVDFILES_OPEN_FOR_READING, &stream) != 0) {
        return Fail(L"Error creating IZarnFileStream from IZarnFile.\n\n");
    }
    const std::uint32_t bufferSize = repository::GetSize(stream);
    const files::ContentBuffer buffer = files::AllocateContent(bufferSize);
    std::uint32_t byteCount = bufferSize;
    // A count beyond the buffer would make the write read past its end.
    if (!buffer || repository::Read(stream, buffer.get(), &byteCount) != 0 || byteCount > bufferSize) {
        return Fail(L"Error reading from IZarnFileStream.\n\n");
    }
    return files::WriteTargetFile(buffer.get(), byteCount);
}

}  // namespace commands
