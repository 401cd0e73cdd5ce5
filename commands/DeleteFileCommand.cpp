#include <string>

#include "commands/CommandSupport.h"
#include "commands/Commands.h"
#include "options/ArgumentMap.h"
#include "repository/ContractCalls.h"
#include "repository/RepositorySession.h"

namespace commands {

bool RunDeleteFile() {
    if (!RequireOptions(L"deleteFile", {L"/fileId"})) return false;
    const std::wstring fileId = options::OptionValue(L"/fileId");
    if (repository::RemoveFile(repository::CurrentRepository(), fileId.c_str()) != 0) {
        return Fail(L"Error deleting file from IZarnRepository.\n\n");
    }
    return true;
}

}  // namespace commands
