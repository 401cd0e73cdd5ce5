// getFile rows only POSIX can run: /dev/full opens and refuses every write.
#include <cerrno>
#include <string>

#include "tests/e2e/PlatformCases.h"

namespace e2e {

std::vector<ToolCase> PlatformGetFileCases() {
    return {
        {.name = "TargetWriteFails",
         .arguments = Command("getFile", {"/fileId:42", "/targetFilePath:/dev/full"}),
         .script = "content hello\n",
         .expectedOutput = "Error writing to target file. GetLastError(): " + std::to_string(ENOSPC) + "\n\n",
         .expectedCalls = InOpenRepository(
             {"GetFile(id=42)", "OpenStream(mode=1,reserved=-1)", "GetSize()", "Read(size=5)"})},
    };
}

}  // namespace e2e
