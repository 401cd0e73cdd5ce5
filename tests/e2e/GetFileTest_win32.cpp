// getFile rows only Windows can run: sharing modes, and absolute paths with a
// drive letter or from the drive's root.
#include "tests/e2e/PlatformCases.h"

namespace e2e {
namespace {

const std::vector<std::string> kUpToRead = {"GetFile(id=42)", "OpenStream(mode=1,reserved=-1)", "GetSize()",
                                            "Read(size=5)"};

}  // namespace

std::vector<ToolCase> PlatformGetFileCases() {
    return {
        {.name = "TargetHeldOpenForWritingByAnotherProcess",
         .arguments = Command("getFile", {"/fileId:42", "/targetFilePath:out.txt"}),
         .script = "content hello\n",
         .filesBefore = {{"repo/out.txt", "older"}},
         .expectedOutput = "Error opening target file.\n\n",
         .expectedCalls = InOpenRepository(kUpToRead),
         .filesHeldOpen = {"repo/out.txt"}},
        {.name = "TargetWithDriveLetterAndBackslashes",
         .arguments = Command("getFile", {"/fileId:42", "/targetFilePath:{root}\\out.txt"}),
         .script = "content hello\n",
         .expectedExitCode = 0,
         .expectedCalls = InOpenRepository(kUpToRead),
         .expectedFiles = test_support::FileTree{{"out.txt", "hello"}}},
        {.name = "TargetFromTheDriveRoot",
         .arguments = Command("getFile", {"/fileId:42", "/targetFilePath:{root-without-drive}\\out.txt"}),
         .script = "content hello\n",
         .expectedExitCode = 0,
         .expectedCalls = InOpenRepository(kUpToRead),
         .expectedFiles = test_support::FileTree{{"out.txt", "hello"}}},
    };
}

}  // namespace e2e
