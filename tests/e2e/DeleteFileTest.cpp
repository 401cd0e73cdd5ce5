// deleteFile: one RemoveFile, no backup, no local file.
#include <gtest/gtest.h>

#include "tests/e2e/ToolCase.h"
#include "tests/e2e/UsageText.h"

namespace e2e {
namespace {

const test_support::FileTree kRepositoryWithIndex = {{"repo/ZarnRepository.bin", "index"}, {"repo/42", "stored"}};

const std::vector<ToolCase> kDeleteFileCases = {
    // The handler prints its message and the usage text; the close follows.
    {.name = "MissingFileId",
     .arguments = Command("deleteFile", {}),
     .script = "marker ReleaseLibrary\nmarker Unloaded\n",
     .expectedOutput = "\n\nInvalid arguments for 'deleteFile' command.\n\n" + UsageText() +
                       Marker("ReleaseLibrary()") + Marker("Unloaded"),
     .expectedCalls = InOpenRepository({})},
    {.name = "RemoveFileFails",
     .arguments = Command("deleteFile", {"/fileId:42"}),
     .script = "fail RemoveFile 2\n",
     .filesBefore = kRepositoryWithIndex,
     .expectedOutput = "Error deleting file from IZarnRepository.\n\n",
     .expectedCalls = InOpenRepository({"RemoveFile(id=42)"})},
    {.name = "RemovesWithoutBackup",
     .arguments = Command("deleteFile", {"/fileId:42"}),
     .filesBefore = kRepositoryWithIndex,
     .expectedExitCode = 0,
     .expectedCalls = InOpenRepository({"RemoveFile(id=42)"})},
};

class DeleteFile : public testing::TestWithParam<ToolCase> {};
TEST_P(DeleteFile, PrintsExitsAndCallsAsExpected) { RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Runs, DeleteFile, testing::ValuesIn(kDeleteFileCases), CaseName());

}  // namespace
}  // namespace e2e
