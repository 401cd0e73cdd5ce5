// A content buffer that cannot be allocated fails its command with the message
// of the step that needed it, never a crash. The tool runs with its address
// space capped far below the sizes asked for.
#include <gtest/gtest.h>

#include <cstdint>

#include "tests/e2e/ToolCase.h"
#include "tests/support/ProcessRunner.h"

namespace e2e {
namespace {

constexpr std::uint64_t kAddressSpaceLimit = std::uint64_t{768} << 20;

const std::vector<ToolCase> kAllocationCases = {
    {.name = "GetFileBufferOfTheReportedSize",
     .arguments = Command("getFile", {"/fileId:42", "/targetFilePath:out.txt"}),
     .script = "content hello\nsize 4294967295\n",
     .expectedOutput = "Error reading from IZarnFileStream.\n\n",
     .expectedCalls = InOpenRepository({"GetFile(id=42)", "OpenStream(mode=1,reserved=-1)", "GetSize()"}),
     .addressSpaceLimit = kAddressSpaceLimit},
    {.name = "AddFileSourceBuffer",
     .arguments = Command("addFile", {"/fileId:42", "/fileDesc:d", "/fileVersion:1", "/filePermissions:1",
                                      "/sourceFilePath:{root}/big.bin", "/targetFilePath:a.txt"}),
     .expectedOutput = "Error reading source file.\n\n",
     .expectedCalls = InOpenRepository({"AddFile(id=42,target=a.txt,version=1,description=d,permissions=1)"}),
     .sparseFilesBefore = {{"big.bin", std::uint64_t{3} << 30}},
     .addressSpaceLimit = kAddressSpaceLimit},
};

class AllocationFailure : public testing::TestWithParam<ToolCase> {};

TEST_P(AllocationFailure, FailsTheCommandWithItsMessage) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer needs more address space than the cap leaves";
#else
    if (!test_support::CanCapMemory()) GTEST_SKIP() << "this system does not enforce the tool's memory cap";
    RunCase(GetParam());
#endif
}

INSTANTIATE_TEST_SUITE_P(Runs, AllocationFailure, testing::ValuesIn(kAllocationCases), CaseName());

}  // namespace
}  // namespace e2e
